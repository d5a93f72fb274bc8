#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "support/scoped_env.h"

namespace {

// The device reports 3.0; the override lets a test make the client's platform check fail,
// and a malformed value is ignored rather than reporting a version nobody asked for.
TEST(Version, ReportsTheDeviceOrTheOverride) {
  struct Case {
    const char* value;
    DWORD major;
    DWORD minor;
    DWORD build;
  };
  for (const Case& c :
       {Case{nullptr, 3, 0, 0}, Case{"4.20", 4, 20, 0}, Case{"5.0.1400", 5, 0, 1400},
        Case{"four", 3, 0, 0}, Case{"4", 3, 0, 0}, Case{"4.2x", 3, 0, 0}}) {
    SCOPED_TRACE(c.value ? c.value : "unset");
    murmel::test::ScopedEnv version("MURMELPOST_OS_VERSION", c.value);
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_EQ(GetVersionExW(&info), TRUE);
    EXPECT_EQ(info.dwMajorVersion, c.major);
    EXPECT_EQ(info.dwMinorVersion, c.minor);
    EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_CE));
    if (c.build != 0) {
      EXPECT_EQ(info.dwBuildNumber, c.build);
    }
  }
}

// A socket failure on the send thread must not leak into the user-interface thread's
// file error.
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

}  // namespace
