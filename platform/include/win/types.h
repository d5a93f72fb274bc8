// Base types of the handheld platform, with their platform names and sizes.
#pragma once

#include <cstddef>
#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using INT = int;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using CHAR = char;
using WCHAR = char16_t;
using BOOL = int;
using BOOLEAN = std::uint8_t;
using SIZE_T = std::size_t;
using UINT_PTR = std::uintptr_t;
using INT_PTR = std::intptr_t;
using LONG_PTR = std::intptr_t;
using ULONG_PTR = std::uintptr_t;
using DWORD_PTR = std::uintptr_t;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;
using LANGID = WORD;
using ATOM = WORD;

using LPVOID = void*;
using LPCVOID = const void*;
using PVOID = void*;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;
using LPLONG = LONG*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPTSTR = WCHAR*;
using LPCTSTR = const WCHAR*;
using TCHAR = WCHAR;

// Every kernel object (file, thread, event, mutex, heap) is reached through a HANDLE.
using HANDLE = void*;
using HLOCAL = HANDLE;
inline HANDLE MurmelInvalidHandleValue() { return reinterpret_cast<HANDLE>(~std::uintptr_t{0}); }
#define INVALID_HANDLE_VALUE (MurmelInvalidHandleValue())

// Distinct opaque handle types, as the platform's STRICT headers declare them.
#define MURMEL_DECLARE_HANDLE(name) \
  struct name##__;                  \
  using name = name##__*
MURMEL_DECLARE_HANDLE(HWND);
MURMEL_DECLARE_HANDLE(HINSTANCE);
MURMEL_DECLARE_HANDLE(HMENU);
MURMEL_DECLARE_HANDLE(HDC);
MURMEL_DECLARE_HANDLE(HBITMAP);
MURMEL_DECLARE_HANDLE(HICON);
MURMEL_DECLARE_HANDLE(HBRUSH);
MURMEL_DECLARE_HANDLE(HFONT);
MURMEL_DECLARE_HANDLE(HRSRC);
#undef MURMEL_DECLARE_HANDLE
using HMODULE = HINSTANCE;
using HGDIOBJ = void*;
using HGLOBAL = HANDLE;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define WINAPI
#define CALLBACK
#define APIENTRY
#define IN
#define OUT

// Text literals are UTF-16.
#define TEXT(s) u##s
#define _T(s) u##s

#define MAKEWORD(lo, hi) \
  static_cast<WORD>((static_cast<BYTE>(lo)) | (static_cast<WORD>(static_cast<BYTE>(hi)) << 8))
#define MAKELONG(lo, hi) \
  static_cast<LONG>((static_cast<WORD>(lo)) | (static_cast<DWORD>(static_cast<WORD>(hi)) << 16))
#define LOWORD(l) static_cast<WORD>(static_cast<DWORD_PTR>(l) & 0xffff)
#define HIWORD(l) static_cast<WORD>((static_cast<DWORD_PTR>(l) >> 16) & 0xffff)
#define LOBYTE(w) static_cast<BYTE>(static_cast<DWORD_PTR>(w) & 0xff)
#define HIBYTE(w) static_cast<BYTE>((static_cast<DWORD_PTR>(w) >> 8) & 0xff)
