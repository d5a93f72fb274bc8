// Threads (their end, exit codes, ids, closing their own handle), and the events and mutexes
// they synchronise with.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <vector>

namespace {

struct Shared {
  HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<HANDLE> own_handle{nullptr};
  std::atomic<DWORD> seen_id{0};
  std::atomic<BOOL> closed_own{FALSE};
  ~Shared() {
    CloseHandle(go);
    CloseHandle(done);
  }
};

DWORD WINAPI WaitForGoThenReturn42(LPVOID parameter) {
  auto* shared = static_cast<Shared*>(parameter);
  shared->seen_id = GetCurrentThreadId();
  WaitForSingleObject(shared->go, INFINITE);
  return 42;
}

TEST(ThreadTest, ThreadHandleIsSignalledWhenTheThreadEnds) {
  Shared shared;
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, WaitForGoThenReturn42, &shared, 0, &id);
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(id, GetCurrentThreadId());
  EXPECT_EQ(ResumeThread(thread), 0u) << "resuming a running thread changes nothing";
  EXPECT_EQ(WaitForSingleObject(thread, 20), DWORD{WAIT_TIMEOUT});
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, DWORD{STILL_ACTIVE});

  SetEvent(shared.go);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), DWORD{WAIT_OBJECT_0});
  EXPECT_EQ(WaitForSingleObject(thread, 0), DWORD{WAIT_OBJECT_0});  // and stays so
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_EQ(shared.seen_id.load(), id);
  EXPECT_TRUE(CloseHandle(thread));
}

// The client's transfer threads end exactly like this.
DWORD WINAPI CloseOwnHandle(LPVOID parameter) {
  auto* shared = static_cast<Shared*>(parameter);
  shared->closed_own = CloseHandle(shared->own_handle.exchange(nullptr));
  SetEvent(shared->done);
  return 7;
}

// A suspended start lets the creator store the handle before the thread can look for it,
// however quickly the thread would run; the thread may then close its own handle.
TEST(ThreadTest, SuspendedThreadRunsOnlyOnceResumedAndMayCloseItsOwnHandle) {
  Shared shared;
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, CloseOwnHandle, &shared, CREATE_SUSPENDED, &id);
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(id, 0u);
  EXPECT_EQ(WaitForSingleObject(thread, 30), DWORD{WAIT_TIMEOUT});
  EXPECT_EQ(WaitForSingleObject(shared.done, 0), DWORD{WAIT_TIMEOUT});
  shared.own_handle = thread;
  EXPECT_EQ(ResumeThread(thread), 1u);
  ASSERT_EQ(WaitForSingleObject(shared.done, INFINITE), DWORD{WAIT_OBJECT_0});
  EXPECT_TRUE(shared.closed_own.load());
  // The creator's copy of the handle is stale now.
  EXPECT_EQ(WaitForSingleObject(thread, 0), DWORD{WAIT_FAILED});
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  EXPECT_FALSE(CloseHandle(thread));
}

// Runs `work` on `count` platform threads and waits for their end.
void RunOnThreads(int count, std::function<void()> work,
                  const std::function<void()>& meanwhile = {}) {
  const auto run = [](LPVOID parameter) -> DWORD {
    (*static_cast<std::function<void()>*>(parameter))();
    return 0;
  };
  std::vector<HANDLE> threads(count);
  for (HANDLE& thread : threads) thread = CreateThread(nullptr, 0, run, &work, 0, nullptr);
  if (meanwhile) meanwhile();
  for (HANDLE thread : threads) {
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), DWORD{WAIT_OBJECT_0});
    CloseHandle(thread);
  }
}

TEST(SyncTest, SetEventReleasesOneWaiterOrAllByResetMode) {
  constexpr int kWaiters = 4;
  for (const BOOL manual : {FALSE, TRUE}) {
    SCOPED_TRACE(manual ? "manual reset" : "auto reset");
    HANDLE event = CreateEventW(nullptr, manual, FALSE, nullptr);
    std::atomic<int> woken{0};
    const auto wait = [&] {
      if (WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0) ++woken;
    };
    RunOnThreads(kWaiters, wait, [&] {
      ASSERT_TRUE(SetEvent(event));
      const int expected = manual ? kWaiters : 1;
      while (woken.load() < expected) Sleep(1);
      Sleep(50);  // room for a wrongly released second waiter to show itself
      EXPECT_EQ(woken.load(), expected);
      // The released waiter used up an auto-reset event; a manual one stays set.
      EXPECT_EQ(WaitForSingleObject(event, 0), manual ? DWORD{WAIT_OBJECT_0} : DWORD{WAIT_TIMEOUT});
      EXPECT_TRUE(ResetEvent(event));
      EXPECT_EQ(WaitForSingleObject(event, 0), DWORD{WAIT_TIMEOUT});
      while (woken.load() < kWaiters) {
        SetEvent(event);
        Sleep(1);
      }
    });
    CloseHandle(event);
  }
}

TEST(SyncTest, SameNameOpensTheSameObjectUntilItsLastHandleCloses) {
  HANDLE first = CreateEventW(nullptr, FALSE, FALSE, u"PCM Queue Event");
  EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS});
  HANDLE second = CreateEventW(nullptr, TRUE, TRUE, u"PCM Queue Event");
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ALREADY_EXISTS});
  ASSERT_NE(second, first);
  // The existing object keeps its own state and reset mode.
  EXPECT_EQ(WaitForSingleObject(second, 0), DWORD{WAIT_TIMEOUT});
  ASSERT_TRUE(SetEvent(second));
  EXPECT_EQ(WaitForSingleObject(first, 0), DWORD{WAIT_OBJECT_0});
  EXPECT_EQ(WaitForSingleObject(second, 0), DWORD{WAIT_TIMEOUT});
  EXPECT_EQ(CreateMutexW(nullptr, FALSE, u"PCM Queue Event"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  CloseHandle(first);
  CloseHandle(second);
  HANDLE fresh = CreateEventW(nullptr, FALSE, TRUE, u"PCM Queue Event");
  EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS});
  EXPECT_EQ(WaitForSingleObject(fresh, 0), DWORD{WAIT_OBJECT_0});
  CloseHandle(fresh);
}

TEST(SyncTest, MutexBelongsToOneThreadAtATimeAndIsAbandonedByAnEndedOwner) {
  HANDLE mutex = CreateMutexW(nullptr, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), DWORD{WAIT_OBJECT_0});  // recursive take
  RunOnThreads(1, [&] {
    EXPECT_EQ(WaitForSingleObject(mutex, 10), DWORD{WAIT_TIMEOUT});
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_OWNER});
  });
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_FALSE(ReleaseMutex(mutex));
  RunOnThreads(1, [&] { EXPECT_EQ(WaitForSingleObject(mutex, 0), DWORD{WAIT_OBJECT_0}); });
  EXPECT_EQ(WaitForSingleObject(mutex, 0), DWORD{WAIT_ABANDONED});
  EXPECT_TRUE(ReleaseMutex(mutex));
  CloseHandle(mutex);
}

TEST(SyncTest, LocksExcludeConcurrentWriters) {
  // A mutex, and an auto-reset event created free, as the PCM queue's lock is used.
  for (const bool is_event : {false, true}) {
    SCOPED_TRACE(is_event ? "auto-reset event" : "mutex");
    HANDLE lock = is_event ? CreateEventW(nullptr, FALSE, TRUE, nullptr)
                           : CreateMutexW(nullptr, FALSE, nullptr);
    int value = 0;  // deliberately plain: only the lock protects it
    RunOnThreads(4, [&] {
      for (int i = 0; i < 2000; ++i) {
        WaitForSingleObject(lock, INFINITE);
        ++value;
        is_event ? SetEvent(lock) : ReleaseMutex(lock);
      }
    });
    EXPECT_EQ(value, 4 * 2000);
    CloseHandle(lock);
  }
}

}  // namespace
