// Device contexts, bitmaps, brushes and the resources the program carries.
#pragma once

#include "win/gui.h"

struct tagBITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
};
using BITMAP = tagBITMAP;

#define SRCCOPY 0x00CC0020
#define WHITE_BRUSH 0
#define BLACK_BRUSH 4
#define NUMCOLORS 24
#define BITSPIXEL 12

#define MAKEINTRESOURCEW(i) (reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define MAKEINTRESOURCE(i) MAKEINTRESOURCEW(i)

HDC GetDC(HWND hWnd);
int ReleaseDC(HWND hWnd, HDC hDC);
// NUMCOLORS: -1 for a true-colour screen (MURMELPOST_SCREEN_COLORS overrides it for tests).
int GetDeviceCaps(HDC hdc, int nIndex);
HDC CreateCompatibleDC(HDC hdc);
BOOL DeleteDC(HDC hdc);
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h);
BOOL DeleteObject(HGDIOBJ ho);
BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop);
HGDIOBJ GetStockObject(int i);
int FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr);
int GetObjectW(HGDIOBJ h, int c, LPVOID pv);

int LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax);
HBITMAP LoadBitmapW(HINSTANCE hInstance, LPCWSTR lpBitmapName);
HICON LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName);
BOOL DestroyIcon(HICON hIcon);

// The resources a program carries: resources/ registers its table once at start-up.
#define RT_BITMAP 2
#define RT_ICON 3
#define RT_STRING 6
struct MURMEL_RESOURCE {
  WORD type;  // RT_STRING: data is NUL-terminated UTF-16; RT_BITMAP and RT_ICON: BMP bytes
  WORD id;
  const void* data;
  DWORD size;  // bytes
};
void RegisterResourceTable(const MURMEL_RESOURCE* entries, SIZE_T count);
