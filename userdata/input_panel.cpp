#include "userdata/input_panel.h"

#include <aygshell.h>
#include <windows.h>

namespace {

void SetInputPanel(bool raised) {
  SIPINFO info{};
  info.cbSize = sizeof(info);
  if (!SHSipInfo(SPI_GETSIPINFO, 0, &info, 0)) return;
  if (raised) {
    info.fdwFlags |= SIPF_ON;
  } else {
    info.fdwFlags &= ~static_cast<DWORD>(SIPF_ON);
  }
  SHSipInfo(SPI_SETSIPINFO, 0, &info, 0);
}

}  // namespace

void ShowInputPanel() { SetInputPanel(true); }

void HideInputPanel() { SetInputPanel(false); }
