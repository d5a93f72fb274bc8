// The Pocket PC shell: the menu bar under the work area and the soft input panel.
#pragma once

#include <windows.h>

struct tagSHMENUBARINFO {
  DWORD cbSize;
  HWND hwndParent;
  DWORD dwFlags;
  UINT nToolBarId;
  HINSTANCE hInstRes;
  int nBmpId;
  int cBmpImages;
  HWND hwndMB;
};
using SHMENUBARINFO = tagSHMENUBARINFO;
using PSHMENUBARINFO = SHMENUBARINFO*;

#define SHCMBF_EMPTYBAR 0x0001
#define SHCMBF_HIDDEN 0x0002
#define SHCMBF_HIDESIPBUTTON 0x0004

// Creates the bar for hwndParent and stores its handle in hwndMB.
BOOL SHCreateMenuBar(SHMENUBARINFO* pmbi);

struct tagSIPINFO {
  DWORD cbSize;
  DWORD fdwFlags;
  RECT rcVisibleDesktop;
  RECT rcSipRect;
  DWORD dwImDataSize;
  void* pvImData;
};
using SIPINFO = tagSIPINFO;
using PSIPINFO = SIPINFO*;

#define SIPF_OFF 0x00000000
#define SIPF_ON 0x00000001
#define SIPF_DOCKED 0x00000002
#define SIPF_LOCKED 0x00000004

#define SPI_SETSIPINFO 224
#define SPI_GETSIPINFO 225

// SPI_GETSIPINFO fills pvParam (a SIPINFO); SPI_SETSIPINFO raises or lowers the panel from
// its fdwFlags and tells every top-level window with WM_SETTINGCHANGE.
BOOL SHSipInfo(UINT uiAction, UINT uiParam, PVOID pvParam, UINT fWinIni);

// Full-screen dialogs: SHInitDialog sizes the dialog, shows the navigation bar's Done button
// (it sends WM_COMMAND IDOK) and may lower the input panel.
struct tagSHINITDLGINFO {
  DWORD dwMask;
  HWND hDlg;
  DWORD dwFlags;
};
using SHINITDLGINFO = tagSHINITDLGINFO;
using PSHINITDLGINFO = SHINITDLGINFO*;

#define SHIDIM_FLAGS 0x0001
#define SHIDIF_DONEBUTTON 0x0001
#define SHIDIF_SIZEDLG 0x0002
#define SHIDIF_SIZEDLGFULLSCREEN 0x0004
#define SHIDIF_SIPDOWN 0x0008
#define SHIDIF_FULLSCREENNOMENUBAR 0x0010
#define SHIDIF_EMPTYMENU 0x0020

BOOL SHInitDialog(PSHINITDLGINFO pshidi);
// The navigation bar shows pszText while hwndRequester is the active window.
BOOL SHSetNavBarText(HWND hwndRequester, LPCWSTR pszText);
