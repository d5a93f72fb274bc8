#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "platform/core/locale_table.h"
#include "support/scoped_env.h"

namespace {

// The device reports 3.0; the override lets a test make the client's platform check fail,
// and a malformed value is ignored rather than reporting a version nobody asked for.
TEST(Version, ReportsTheDeviceOrTheOverride) {
  struct Case {
    const char* value;
    DWORD major, minor, build;
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

using murmel::test::ScopedEnv;

TEST(Locale, TableGivesCodePageAndLanguage) {
  struct Case {
    const char* name;
    UINT code_page;
    LANGID language;
  };
  // One row per rule: fallbacks to the United States, codeset and modifier ignored,
  // territory before language, never a mere prefix.
  const Case cases[] = {
      {"C", 1252, 0x0409},
      {"", 1252, 0x0409},
      {"xx_YY.UTF-8", 1252, 0x0409},
      {"e", 1252, 0x0409},
      {"ru_RU.KOI8-R", 1251, 0x0419},
      {"de_AT@euro", 1252, 0x0C07},
      {"de_BE", 1252, 0x0407},
      {"ja", 932, 0x0411},
      {"zh_HK", 950, 0x0C04},
  };
  for (const Case& c : cases) {
    const murmel::core::LocaleDefaults got = murmel::core::LocaleDefaultsFor(c.name);
    EXPECT_EQ(got.ansiCodePage, c.code_page) << c.name;
    EXPECT_EQ(got.languageId, c.language) << c.name;
  }
}

// The first non-empty of LC_ALL, LC_CTYPE and LANG decides, read again on every call.
TEST(Locale, EnvironmentPrecedence) {
  struct Case {
    const char *lc_all, *lc_ctype, *lang;
    UINT code_page;
    LANGID language;
  };
  const Case cases[] = {
      {"ja_JP.UTF-8", "ru_RU.UTF-8", "de_DE.UTF-8", 932, 0x0411},
      {nullptr, "ru_RU.UTF-8", "de_DE.UTF-8", 1251, 0x0419},
      {"", "", "de_DE.UTF-8", 1252, 0x0407},
      {nullptr, nullptr, "zh_CN.UTF-8", 936, 0x0804},
      {nullptr, nullptr, nullptr, 1252, 0x0409},
  };
  for (const Case& c : cases) {
    ScopedEnv lc_all("LC_ALL", c.lc_all);
    ScopedEnv lc_ctype("LC_CTYPE", c.lc_ctype);
    ScopedEnv lang("LANG", c.lang);
    EXPECT_EQ(GetACP(), c.code_page);
    EXPECT_EQ(GetSystemDefaultLangID(), c.language);
  }
}

// CP_ACP converts through the code page of the locale in effect.
TEST(Locale, AnsiConversionFollowsTheLocale) {
  const WCHAR* text = u"\u65e5\u00e9";
  char out[8] = {};
  ScopedEnv lc_all("LC_ALL", "ja_JP.UTF-8");
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, out, sizeof out, nullptr, nullptr), 4);
  EXPECT_STREQ(out, "\x93\xfa?");
}

}  // namespace
