// Code pages: the device's ANSI code page and conversions between it and UTF-16.
#pragma once

#include "win/types.h"

using LPBOOL = BOOL*;

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_MACCP 2
#define CP_THREAD_ACP 3
#define CP_UTF8 65001

// The ANSI code page of the device, from the locale (LC_ALL, LC_CTYPE, LANG): 1252 for C,
// POSIX and most Western locales, 932 Japanese, 936 and 950 Chinese, 949 Korean, 1250 to
// 1258 for Central European, Cyrillic, Greek, Turkish, Hebrew, Arabic, Baltic, Vietnamese.
UINT GetACP();

// Code pages: CP_ACP, CP_THREAD_ACP (both the ANSI code page), CP_UTF8, 874, 932, 936, 949,
// 950 and 1250 to 1258. Flags must be 0. A source length of -1 converts up to and including
// the NUL, which is then counted in the result. A destination size of 0 asks for the size
// needed and writes nothing.
//
// A character the code page cannot hold becomes lpDefaultChar's first byte ('?' when null),
// one per character (a surrogate pair is one character), and *lpUsedDefaultChar is set;
// with CP_UTF8 both must be null and an unpaired surrogate becomes U+FFFD. When the result
// does not fit, the whole characters that fit are written and the call fails with
// ERROR_INSUFFICIENT_BUFFER. Returns the bytes written (or needed), 0 on failure.
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        LPBOOL lpUsedDefaultChar);

// The reverse, with the same code pages, lengths and size query. A byte sequence the code
// page does not define becomes '?' (U+FFFD for CP_UTF8). Returns UTF-16 units.
int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar);
