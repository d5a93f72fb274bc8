// Common controls: the progress bar class.
#pragma once

#include <windows.h>

struct tagINITCOMMONCONTROLSEX {
  DWORD dwSize;
  DWORD dwICC;
};
using INITCOMMONCONTROLSEX = tagINITCOMMONCONTROLSEX;
using LPINITCOMMONCONTROLSEX = INITCOMMONCONTROLSEX*;

#define ICC_PROGRESS_CLASS 0x00000020
#define PROGRESS_CLASSW u"msctls_progress32"
#define PROGRESS_CLASS PROGRESS_CLASSW

#define PBM_SETRANGE (WM_USER + 1)
#define PBM_SETPOS (WM_USER + 2)
#define PBM_DELTAPOS (WM_USER + 3)
#define PBM_SETSTEP (WM_USER + 4)
#define PBM_STEPIT (WM_USER + 5)
#define PBM_GETPOS (WM_USER + 8)

// The progress class is always registered here; the call only checks its argument.
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce);
