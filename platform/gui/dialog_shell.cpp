// SHInitDialog and SHSetNavBarText over the emulated screen's navigation bar.
#include "platform/gui/dialog_shell.h"

#include <aygshell.h>

#include <QString>
#include <map>
#include <optional>

#include "platform/gui/screen.h"
#include "platform/gui/window_access.h"
#include "platform/gui/window_state.h"
#include "win/gui_dialog.h"

namespace murmel::gui {

namespace {

struct ShellState {
  std::optional<QString> navigation_text;
  bool done_button = false;
  bool full_screen = false;
};

std::map<HWND, ShellState>& States() {
  static std::map<HWND, ShellState> states;
  return states;
}

bool HasCaptionOkButton(HWND window) {
  const WindowRecord* record = FindWindow(window);
  return record != nullptr && (record->ex_style & WS_EX_CAPTIONOKBTN) != 0;
}

}  // namespace

void ApplyShellNavigation(HWND active) {
  const auto it = States().find(active);
  if (it != States().end() && it->second.navigation_text) {
    SetNavigationTitle(*it->second.navigation_text);
  }
  const bool done = (it != States().end() && it->second.done_button) || HasCaptionOkButton(active);
  SetDoneButton(done ? active : nullptr);
}

void ForgetShellState(HWND window) {
  States().erase(window);
  if (ActiveTopLevel() == nullptr || ActiveTopLevel() == window) SetDoneButton(nullptr);
}

bool IsFullScreenDialog(HWND window) {
  const auto it = States().find(window);
  return it != States().end() && it->second.full_screen;
}

}  // namespace murmel::gui

BOOL SHInitDialog(PSHINITDLGINFO pshidi) {
  if (pshidi == nullptr || murmel::gui::LiveWindow(pshidi->hDlg) == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if ((pshidi->dwMask & SHIDIM_FLAGS) == 0) return TRUE;
  const HWND dialog = pshidi->hDlg;
  const DWORD flags = pshidi->dwFlags;
  murmel::gui::ShellState& state = murmel::gui::States()[dialog];
  state.done_button = (flags & SHIDIF_DONEBUTTON) != 0;
  if ((flags & SHIDIF_SIPDOWN) != 0 && murmel::gui::InputPanelRaised()) {
    murmel::gui::SetInputPanel(false);
  }
  if ((flags & (SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIZEDLG)) != 0) {
    // Full screen: the whole work area; otherwise what the input panel leaves visible.
    RECT area = murmel::gui::VisibleDesktop();
    if ((flags & SHIDIF_SIZEDLGFULLSCREEN) != 0) {
      area.bottom = murmel::gui::kScreenHeight - murmel::gui::kBarHeight;
    }
    state.full_screen = true;
    MoveWindow(dialog, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
  }
  if (dialog == murmel::gui::ActiveTopLevel()) murmel::gui::ApplyShellNavigation(dialog);
  return TRUE;
}

BOOL SHSetNavBarText(HWND hwndRequester, LPCWSTR pszText) {
  if (murmel::gui::LiveWindow(hwndRequester) == nullptr || pszText == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const QString text = QString::fromUtf16(pszText, static_cast<qsizetype>(wcslen(pszText)));
  murmel::gui::States()[hwndRequester].navigation_text = text;
  if (hwndRequester == murmel::gui::ActiveTopLevel()) murmel::gui::SetNavigationTitle(text);
  return TRUE;
}
