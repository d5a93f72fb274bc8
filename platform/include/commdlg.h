// The file-open dialog.
#pragma once

#include <windows.h>

using LPOFNHOOKPROC = UINT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

struct tagOFNW {
  DWORD lStructSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  LPCWSTR lpstrFilter;  // pairs of NUL-terminated texts (name, patterns), ended by an empty one
  LPWSTR lpstrCustomFilter;
  DWORD nMaxCustFilter;
  DWORD nFilterIndex;  // 1-based; 0 picks the first pair
  LPWSTR lpstrFile;    // in: the initial name (or path); out: the chosen full path
  DWORD nMaxFile;
  LPWSTR lpstrFileTitle;
  DWORD nMaxFileTitle;
  LPCWSTR lpstrInitialDir;
  LPCWSTR lpstrTitle;
  DWORD Flags;
  WORD nFileOffset;     // out: where the name starts in lpstrFile
  WORD nFileExtension;  // out: where the extension starts, 0 when there is none
  LPCWSTR lpstrDefExt;
  LPARAM lCustData;
  LPOFNHOOKPROC lpfnHook;
  LPCWSTR lpTemplateName;
};
using OPENFILENAMEW = tagOFNW;
using LPOPENFILENAMEW = OPENFILENAMEW*;
using OPENFILENAME = OPENFILENAMEW;

#define OFN_READONLY 0x00000001
#define OFN_OVERWRITEPROMPT 0x00000002
#define OFN_HIDEREADONLY 0x00000004
#define OFN_NOCHANGEDIR 0x00000008
#define OFN_PATHMUSTEXIST 0x00000800
#define OFN_FILEMUSTEXIST 0x00001000
#define OFN_EXPLORER 0x00080000

// CommDlgExtendedError codes.
#define CDERR_STRUCTSIZE 0x0001
#define CDERR_INITIALIZATION 0x0002
#define FNERR_INVALIDFILENAME 0x3002
#define FNERR_BUFFERTOOSMALL 0x3003

// Shows the dialog over the emulated screen and waits, dispatching posted messages. On OK
// the full host path of the chosen file is in lpstrFile; on cancel (0, with
// CommDlgExtendedError() 0) nothing in the structure changes. A too small lpstrFile gives
// 0 with FNERR_BUFFERTOOSMALL and the needed size in its first character.
BOOL GetOpenFileNameW(LPOPENFILENAMEW lpofn);
// Why the last common dialog call of this thread returned 0; 0 for a cancel.
DWORD CommDlgExtendedError();
