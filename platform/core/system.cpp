#include "win/system.h"

#include <cstdio>
#include <cstdlib>

#include "platform/core/locale_table.h"
#include "win/error.h"

namespace {

struct Version {
  DWORD major = 3;
  DWORD minor = 0;
  DWORD build = 11171;  // Pocket PC 2002, the last release on Windows CE 3.0
};

// MURMELPOST_OS_VERSION=major.minor[.build]; anything else keeps the emulated version.
Version ReportedVersion() {
  Version version;
  const char* text = std::getenv("MURMELPOST_OS_VERSION");
  if (text == nullptr) return version;
  unsigned major = 0;
  unsigned minor = 0;
  unsigned build = 0;
  int consumed = 0;
  const int fields =
      std::sscanf(text, "%u.%u%n.%u%n", &major, &minor, &consumed, &build, &consumed);
  if (fields < 2 || text[consumed] != '\0') return version;
  version.major = major;
  version.minor = minor;
  if (fields == 3) version.build = build;
  return version;
}

}  // namespace

BOOL GetVersionExW(LPOSVERSIONINFOW lpVersionInformation) {
  if (lpVersionInformation == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (lpVersionInformation->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  const Version version = ReportedVersion();
  lpVersionInformation->dwMajorVersion = version.major;
  lpVersionInformation->dwMinorVersion = version.minor;
  lpVersionInformation->dwBuildNumber = version.build;
  lpVersionInformation->dwPlatformId = VER_PLATFORM_WIN32_CE;
  lpVersionInformation->szCSDVersion[0] = 0;
  return TRUE;
}

LANGID GetSystemDefaultLangID() { return murmel::core::CurrentLocaleDefaults().languageId; }
