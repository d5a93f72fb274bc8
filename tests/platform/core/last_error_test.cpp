#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

// The last error is per thread: a socket failure on the send thread must not leak into
// the user-interface thread's file error.
TEST(LastError, IsKeptPerThread) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  DWORD seen_by_other = 1234;
  std::thread other([&] {
    seen_by_other = GetLastError();
    SetLastError(ERROR_SHARING_VIOLATION);
  });
  other.join();
  EXPECT_EQ(seen_by_other, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}
