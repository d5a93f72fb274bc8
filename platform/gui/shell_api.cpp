// The Pocket PC shell calls: the menu bar and the soft input panel.
#include <aygshell.h>

#include "platform/gui/screen.h"
#include "platform/gui/window_access.h"

namespace {

constexpr DWORD kSipInfoSize = sizeof(SIPINFO);
// The sizes the device's 32-bit programs pass.
constexpr DWORD kDeviceSipInfoSize = 48;
constexpr DWORD kDeviceMenuBarInfoSize = 32;

}  // namespace

BOOL SHCreateMenuBar(SHMENUBARINFO* pmbi) {
  if (pmbi == nullptr ||
      (pmbi->cbSize != sizeof(SHMENUBARINFO) && pmbi->cbSize != kDeviceMenuBarInfoSize) ||
      murmel::gui::LiveWindow(pmbi->hwndParent) == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The one bar of the emulated screen stands for every window's bar.
  murmel::gui::ShowMenuBar((pmbi->dwFlags & SHCMBF_HIDDEN) == 0);
  pmbi->hwndMB = nullptr;
  return TRUE;
}

BOOL SHSipInfo(UINT uiAction, UINT /*uiParam*/, PVOID pvParam, UINT /*fWinIni*/) {
  auto* info = static_cast<SIPINFO*>(pvParam);
  if (info == nullptr || (info->cbSize != kSipInfoSize && info->cbSize != kDeviceSipInfoSize)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  switch (uiAction) {
    case SPI_GETSIPINFO:
      info->fdwFlags = SIPF_DOCKED | (murmel::gui::InputPanelRaised() ? SIPF_ON : 0);
      info->rcVisibleDesktop = murmel::gui::VisibleDesktop();
      info->rcSipRect = murmel::gui::InputPanelRect();
      info->dwImDataSize = 0;
      info->pvImData = nullptr;
      return TRUE;
    case SPI_SETSIPINFO: {
      const bool raise = (info->fdwFlags & SIPF_ON) != 0;
      // The panel and the windows belong to the GUI thread.
      if (murmel::gui::OnGuiThread()) {
        murmel::gui::SetInputPanel(raise);
      } else {
        return FALSE;
      }
      return TRUE;
    }
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
}
