// Events and mutexes: reset modes, names, ownership, and exclusion between threads.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <vector>

namespace {

DWORD WINAPI RunFunction(LPVOID parameter) {
  (*static_cast<std::function<void()>*>(parameter))();
  return 0;
}

// Starts count threads running work and returns their handles.
std::vector<HANDLE> StartThreads(int count, std::function<void()>& work) {
  std::vector<HANDLE> threads(count);
  for (HANDLE& thread : threads) thread = CreateThread(nullptr, 0, RunFunction, &work, 0, nullptr);
  return threads;
}

void JoinThreads(const std::vector<HANDLE>& threads) {
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
    std::function<void()> wait = [&] {
      if (WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0) ++woken;
    };
    const auto threads = StartThreads(kWaiters, wait);

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
    JoinThreads(threads);
    CloseHandle(event);
  }
}

TEST(SyncTest, SameNameOpensTheSameObjectUntilItsLastHandleCloses) {
  SetLastError(12345);
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

  HANDLE other_case = CreateEventW(nullptr, FALSE, FALSE, u"pcm queue event");
  EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS});
  EXPECT_EQ(CreateMutexW(nullptr, FALSE, u"PCM Queue Event"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});

  CloseHandle(first);
  CloseHandle(second);
  CloseHandle(other_case);
  HANDLE fresh = CreateEventW(nullptr, FALSE, TRUE, u"PCM Queue Event");
  EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS});
  EXPECT_EQ(WaitForSingleObject(fresh, 0), DWORD{WAIT_OBJECT_0});
  CloseHandle(fresh);
}

TEST(SyncTest, MutexBelongsToOneThreadAtATimeAndIsAbandonedByAnEndedOwner) {
  HANDLE mutex = CreateMutexW(nullptr, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), DWORD{WAIT_OBJECT_0});  // recursive take
  std::function<void()> refused = [&] {
    EXPECT_EQ(WaitForSingleObject(mutex, 10), DWORD{WAIT_TIMEOUT});
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_OWNER});
  };
  JoinThreads(StartThreads(1, refused));
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_FALSE(ReleaseMutex(mutex));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_OWNER});

  std::function<void()> take_and_end = [&] {
    EXPECT_EQ(WaitForSingleObject(mutex, 0), DWORD{WAIT_OBJECT_0});
  };
  JoinThreads(StartThreads(1, take_and_end));
  EXPECT_EQ(WaitForSingleObject(mutex, 0), DWORD{WAIT_ABANDONED});
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_EQ(WaitForSingleObject(mutex, 0), DWORD{WAIT_OBJECT_0});
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
    std::function<void()> count = [&] {
      for (int i = 0; i < 2000; ++i) {
        WaitForSingleObject(lock, INFINITE);
        ++value;
        is_event ? SetEvent(lock) : ReleaseMutex(lock);
      }
    };
    JoinThreads(StartThreads(4, count));
    EXPECT_EQ(value, 4 * 2000);
    CloseHandle(lock);
  }
}

}  // namespace
