// Threads (their end, ids, closing their own handle), and the events and mutexes
// they synchronise with.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <vector>

namespace {

struct Shared {
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<HANDLE> own_handle{nullptr};
  std::atomic<DWORD> seen_id{0};
  std::atomic<BOOL> closed_own{FALSE};
  ~Shared() { CloseHandle(done); }
};

// The client's transfer threads end exactly like this.
DWORD WINAPI CloseOwnHandle(LPVOID parameter) {
  auto* shared = static_cast<Shared*>(parameter);
  shared->seen_id = GetCurrentThreadId();
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
  EXPECT_NE(id, GetCurrentThreadId());
  EXPECT_EQ(WaitForSingleObject(thread, 30), DWORD{WAIT_TIMEOUT});
  EXPECT_EQ(WaitForSingleObject(shared.done, 0), DWORD{WAIT_TIMEOUT});
  shared.own_handle = thread;
  EXPECT_EQ(ResumeThread(thread), 1u);
  ASSERT_EQ(WaitForSingleObject(shared.done, INFINITE), DWORD{WAIT_OBJECT_0});
  EXPECT_TRUE(shared.closed_own.load());
  EXPECT_EQ(shared.seen_id.load(), id);
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
  CloseHandle(first);
  CloseHandle(second);
  HANDLE fresh = CreateEventW(nullptr, FALSE, TRUE, u"PCM Queue Event");
  EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS});
  EXPECT_EQ(WaitForSingleObject(fresh, 0), DWORD{WAIT_OBJECT_0});
  CloseHandle(fresh);
}

// The PCM queue's lock: an auto-reset event created free.
TEST(SyncTest, AutoResetEventExcludesConcurrentWriters) {
  HANDLE lock = CreateEventW(nullptr, FALSE, TRUE, nullptr);
  int value = 0;  // deliberately plain: only the lock protects it
  RunOnThreads(4, [&] {
    for (int i = 0; i < 2000; ++i) {
      WaitForSingleObject(lock, INFINITE);
      ++value;
      SetEvent(lock);
    }
  });
  EXPECT_EQ(value, 4 * 2000);
  CloseHandle(lock);
}

}  // namespace
