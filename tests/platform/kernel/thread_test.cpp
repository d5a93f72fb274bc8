// Threads: waiting for their end, exit codes and ids, and threads closing their own handle.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>

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

TEST(ThreadTest, UnknownFlagsAndOtherHandlesAreRefused) {
  Shared shared;
  EXPECT_EQ(CreateThread(nullptr, 0, CloseOwnHandle, &shared, 0x10, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(ResumeThread(shared.go), static_cast<DWORD>(-1));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
}

}  // namespace
