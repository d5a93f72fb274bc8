// The binary "LOCL" record: code page, time zone, system language and form of address.
#pragma once

#include <windows.h>

constexpr int LOCALE_RECORD_SIZE = 21;

// timeZoneResult is what the time-zone query answered (2 while daylight time is in
// effect) and bias its Bias field in minutes.
void BuildLocaleRecord(BYTE (&record)[LOCALE_RECORD_SIZE], DWORD timeZoneResult, LONG bias,
                       UINT codePage, LANGID languageId, const WCHAR* sex);
