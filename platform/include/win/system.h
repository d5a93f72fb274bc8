// System information: the platform's version, its time zone and its default language.
#pragma once

#include "win/types.h"

struct OSVERSIONINFOW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
};
using POSVERSIONINFOW = OSVERSIONINFOW*;
using LPOSVERSIONINFOW = OSVERSIONINFOW*;
using OSVERSIONINFO = OSVERSIONINFOW;
using LPOSVERSIONINFO = OSVERSIONINFOW*;

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2
#define VER_PLATFORM_WIN32_CE 3

// The emulated handheld: Windows CE 3.0 (platform 3). The caller sets dwOSVersionInfoSize
// to sizeof(OSVERSIONINFOW); another size fails with ERROR_INSUFFICIENT_BUFFER.
// MURMELPOST_OS_VERSION=major.minor[.build] reports another version (for tests of the
// client's platform check).
BOOL GetVersionExW(LPOSVERSIONINFOW lpVersionInformation);
#define GetVersionEx GetVersionExW

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};
using PSYSTEMTIME = SYSTEMTIME*;
using LPSYSTEMTIME = SYSTEMTIME*;

struct TIME_ZONE_INFORMATION {
  LONG Bias;  // minutes; UTC = local standard time + Bias
  WCHAR StandardName[32];
  SYSTEMTIME StandardDate;
  LONG StandardBias;
  WCHAR DaylightName[32];
  SYSTEMTIME DaylightDate;
  LONG DaylightBias;
};
using PTIME_ZONE_INFORMATION = TIME_ZONE_INFORMATION*;
using LPTIME_ZONE_INFORMATION = TIME_ZONE_INFORMATION*;

#define TIME_ZONE_ID_UNKNOWN 0
#define TIME_ZONE_ID_STANDARD 1
#define TIME_ZONE_ID_DAYLIGHT 2
#define TIME_ZONE_ID_INVALID (static_cast<DWORD>(0xFFFFFFFF))

// The host's zone (TZ honoured, re-read on every call). Standard time is the smaller UTC
// offset of 15 January and 15 July this year; the dates give the changes of this year in
// the platform's "n-th weekday of the month" form (wDay 5 = the last). Answers
// TIME_ZONE_ID_DAYLIGHT while daylight time is in effect, TIME_ZONE_ID_STANDARD outside it,
// TIME_ZONE_ID_UNKNOWN for a zone without daylight time.
DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION lpTimeZoneInformation);

// The default language from the locale (LC_ALL, LC_CTYPE, LANG), e.g. 0x0409 for C and
// en_US, 0x0407 de_DE, 0x0411 ja_JP.
LANGID GetSystemDefaultLangID();
#define PRIMARYLANGID(lgid) (static_cast<WORD>(lgid) & 0x3ff)
#define SUBLANGID(lgid) (static_cast<WORD>(lgid) >> 10)
#define MAKELANGID(p, s) static_cast<LANGID>((static_cast<WORD>(s) << 10) | static_cast<WORD>(p))
