// The calls a dialog procedure uses on its items, and dialog units.
#include "platform/gui/dialog_font.h"
#include "platform/gui/dialog_manager.h"
#include "platform/gui/screen.h"
#include "win/error.h"
#include "win/gui_controls.h"
#include "win/gui_dialog.h"

LRESULT SendDlgItemMessageW(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam) {
  const HWND item = GetDlgItem(hDlg, nIDDlgItem);
  return item == nullptr ? 0 : SendMessageW(item, Msg, wParam, lParam);
}

BOOL SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString) {
  const HWND item = GetDlgItem(hDlg, nIDDlgItem);
  return item == nullptr ? FALSE : SetWindowTextW(item, lpString);
}

UINT GetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPWSTR lpString, int cchMax) {
  if (lpString != nullptr && cchMax > 0) lpString[0] = 0;
  const HWND item = GetDlgItem(hDlg, nIDDlgItem);
  return item == nullptr ? 0 : static_cast<UINT>(GetWindowTextW(item, lpString, cchMax));
}

BOOL CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck) {
  const HWND item = GetDlgItem(hDlg, nIDButton);
  if (item == nullptr) return FALSE;
  SendMessageW(item, BM_SETCHECK, uCheck, 0);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND hDlg, int nIDButton) {
  return static_cast<UINT>(SendDlgItemMessageW(hDlg, nIDButton, BM_GETCHECK, 0, 0));
}

BOOL CheckRadioButton(HWND hDlg, int nIDFirstButton, int nIDLastButton, int nIDCheckButton) {
  for (int id = nIDFirstButton; id <= nIDLastButton; ++id) {
    if (GetDlgItem(hDlg, id) == nullptr) continue;
    SendDlgItemMessageW(hDlg, id, BM_SETCHECK, id == nIDCheckButton ? BST_CHECKED : BST_UNCHECKED,
                        0);
  }
  return TRUE;
}

BOOL MapDialogRect(HWND hDlg, LPRECT lpRect) {
  const murmel::gui::DialogState* state = murmel::gui::FindDialog(hDlg);
  if (state == nullptr || lpRect == nullptr) {
    SetLastError(state == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  lpRect->left = murmel::gui::DialogUnitsToPixelsX(lpRect->left, state->units);
  lpRect->right = murmel::gui::DialogUnitsToPixelsX(lpRect->right, state->units);
  lpRect->top = murmel::gui::DialogUnitsToPixelsY(lpRect->top, state->units);
  lpRect->bottom = murmel::gui::DialogUnitsToPixelsY(lpRect->bottom, state->units);
  return TRUE;
}

LONG GetDialogBaseUnits() {
  murmel::gui::EnsureApplication();
  const murmel::gui::BaseUnits units =
      murmel::gui::BaseUnitsOf(murmel::gui::DialogFont(u"MS Sans Serif", 8));
  return MAKELONG(units.cx, units.cy);
}
