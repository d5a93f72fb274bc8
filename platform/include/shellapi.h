// Starting programs: the browser with a web address, or a file with its program.
#pragma once

#include <windows.h>

using HKEY = HANDLE;

struct _SHELLEXECUTEINFO {
  DWORD cbSize;
  ULONG fMask;
  HWND hwnd;
  LPCWSTR lpVerb;
  LPCWSTR lpFile;
  LPCWSTR lpParameters;
  LPCWSTR lpDirectory;
  int nShow;
  HINSTANCE hInstApp;  // out: greater than 32 on success, an SE_ERR_* value on failure
  LPVOID lpIDList;
  LPCWSTR lpClass;
  HKEY hkeyClass;
  DWORD dwHotKey;
  HANDLE hIcon;
  HANDLE hProcess;  // out with SEE_MASK_NOCLOSEPROCESS: always null here
};
using SHELLEXECUTEINFO = _SHELLEXECUTEINFO;
using LPSHELLEXECUTEINFO = SHELLEXECUTEINFO*;

#define SEE_MASK_CLASSNAME 0x00000001
#define SEE_MASK_CLASSKEY 0x00000003
#define SEE_MASK_IDLIST 0x00000004
#define SEE_MASK_NOCLOSEPROCESS 0x00000040
#define SEE_MASK_FLAG_DDEWAIT 0x00000100
#define SEE_MASK_FLAG_NO_UI 0x00000400

#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_NOASSOC 31

// The platform's browser, "\Windows\iexplore.exe", with a web address as its parameters
// opens the address in the desktop's browser (xdg-open). Without a browser the call fails
// with ERROR_FILE_NOT_FOUND (2). MURMELPOST_BROWSER names a program run instead of
// xdg-open, with the address as its one argument.
BOOL ShellExecuteEx(LPSHELLEXECUTEINFO lpExecInfo);
