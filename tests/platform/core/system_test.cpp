#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

OSVERSIONINFOW FreshVersionInfo() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  return info;
}

TEST(Version, ReportsWindowsCe3) {
  unsetenv("MURMELPOST_OS_VERSION");
  OSVERSIONINFOW info = FreshVersionInfo();
  ASSERT_EQ(GetVersionExW(&info), TRUE);
  EXPECT_EQ(info.dwMajorVersion, 3u);
  EXPECT_EQ(info.dwMinorVersion, 0u);
  EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_CE));
}

// The override lets a test make the client's platform check fail; a malformed value is
// ignored rather than reporting a version nobody asked for.
TEST(Version, OverrideFromTheEnvironment) {
  struct Case {
    const char* value;
    DWORD major;
    DWORD minor;
  };
  for (const Case& c : {Case{"4.20", 4, 20}, Case{"5.0.1400", 5, 0}, Case{"2.11", 2, 11},
                        Case{"four", 3, 0}, Case{"4", 3, 0}, Case{"4.2x", 3, 0}}) {
    setenv("MURMELPOST_OS_VERSION", c.value, 1);
    OSVERSIONINFOW info = FreshVersionInfo();
    ASSERT_EQ(GetVersionExW(&info), TRUE);
    EXPECT_EQ(info.dwMajorVersion, c.major) << c.value;
    EXPECT_EQ(info.dwMinorVersion, c.minor) << c.value;
  }
  setenv("MURMELPOST_OS_VERSION", "5.0.1400", 1);
  OSVERSIONINFOW info = FreshVersionInfo();
  GetVersionExW(&info);
  EXPECT_EQ(info.dwBuildNumber, 1400u);
  unsetenv("MURMELPOST_OS_VERSION");
}

TEST(Version, RefusesAWrongStructureSize) {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info - 4;
  SetLastError(0);
  EXPECT_EQ(GetVersionExW(&info), FALSE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(info.dwMajorVersion, 0u);
  SetLastError(0);
  EXPECT_EQ(GetVersionExW(nullptr), FALSE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
