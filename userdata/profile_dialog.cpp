#include "userdata/profile_dialog.h"

#include <aygshell.h>

#include "resources/resource_ids.h"
#include "state/app_state.h"
#include "userdata/country_list.h"
#include "userdata/email_address.h"
#include "userdata/input_panel.h"
#include "userdata/profile.h"

namespace {

constexpr const WCHAR* PROFILE_DIALOG_TITLE = u"User Profile(Requires all)";
constexpr const WCHAR* MESSAGE_CAPTION = u"Murmelpost";

void ShowProfileMessage(HWND dialog, int stringId) {
  WCHAR message[256] = {};
  LoadStringW(appState.instance, static_cast<UINT>(stringId), message, 256);
  MessageBoxW(dialog, message, MESSAGE_CAPTION, MB_OK | MB_ICONEXCLAMATION);
}

template <std::size_t N>
void TakeItemText(HWND dialog, int id, Text<N>& field) {
  GetDlgItemTextW(dialog, id, field, static_cast<int>(N));
}

void OnInitDialog(HWND dialog) {
  SHINITDLGINFO fullScreen{};
  fullScreen.dwMask = SHIDIM_FLAGS;
  fullScreen.hDlg = dialog;
  fullScreen.dwFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN;
  SHInitDialog(&fullScreen);
  SHSetNavBarText(dialog, PROFILE_DIALOG_TITLE);

  CheckRadioButton(dialog, IDC_PROFILE_MR, IDC_PROFILE_MS, IDC_PROFILE_MR);
  SetDlgItemTextW(dialog, IDC_PROFILE_EMAIL, appState.email);
  SetDlgItemTextW(dialog, IDC_PROFILE_EMAIL_CONFIRM, appState.email);
  SetDlgItemTextW(dialog, IDC_PROFILE_NAME, appState.name);
  SetDlgItemTextW(dialog, IDC_PROFILE_CITY, appState.city);
  SetDlgItemTextW(dialog, IDC_PROFILE_STATE, appState.state);

  const HWND countries = GetDlgItem(dialog, IDC_PROFILE_COUNTRY);
  FillCountryList(countries);
  SendMessageW(countries, CB_SELECTSTRING, static_cast<WPARAM>(-1),
               reinterpret_cast<LPARAM>(DEFAULT_COUNTRY));
  // A stored name selects the first entry it begins, searched from the second entry on and
  // wrapping; when none does, the default stays selected.
  if (!appState.country.empty()) {
    SendMessageW(countries, CB_SELECTSTRING, 0, reinterpret_cast<LPARAM>(appState.country.data()));
  }
  if (wcscmp(appState.sex, u"Ms.") == 0) {
    CheckRadioButton(dialog, IDC_PROFILE_MR, IDC_PROFILE_MS, IDC_PROFILE_MS);
  }

  ShowInputPanel();
  SetFocus(GetDlgItem(dialog, IDC_PROFILE_EMAIL));
}

}  // namespace

// Copies the dialog's texts into the profile before any check, so that a refused attempt
// stays in memory (the file keeps the last accepted profile). Shows the first failing
// check's message and returns false.
bool CheckProfileInput(HWND dialog) {
  Text<256> confirmation;
  TakeItemText(dialog, IDC_PROFILE_EMAIL, appState.email);
  TakeItemText(dialog, IDC_PROFILE_EMAIL_CONFIRM, confirmation);
  TakeItemText(dialog, IDC_PROFILE_NAME, appState.name);
  TakeItemText(dialog, IDC_PROFILE_CITY, appState.city);
  TakeItemText(dialog, IDC_PROFILE_STATE, appState.state);
  TakeItemText(dialog, IDC_PROFILE_COUNTRY, appState.country);

  if (appState.email.empty() || confirmation.empty() || appState.name.empty() ||
      appState.city.empty() || appState.state.empty() || appState.country.empty()) {
    ShowProfileMessage(dialog, IDS_FILL_ALL_FIELDS);
    return false;
  }
  if (wcscmp(appState.email, confirmation) != 0) {
    ShowProfileMessage(dialog, IDS_EMAILS_DIFFER);
    return false;
  }
  if (ValidateEmail(appState.email, 0) == 0) {
    ShowProfileMessage(dialog, IDS_INVALID_EMAIL);
    return false;
  }
  return true;
}

INT_PTR ProfileDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(dialog);
      return FALSE;  // the focus is already on the e-mail field
    case WM_COMMAND: {
      const int command = LOWORD(wParam);
      if (command != IDOK && command != IDCANCEL) return FALSE;
      WCHAR title[64] = {};
      LoadStringW(appState.instance, IDS_APP_TITLE, title, 64);
      if (command == IDOK) {
        if (!CheckProfileInput(dialog)) return TRUE;
        appState.sex = IsDlgButtonChecked(dialog, IDC_PROFILE_MR) == BST_CHECKED ? u"Mr." : u"Ms.";
        // A profile that could not be written keeps the dialog open, without a message.
        if (!SaveProfile()) return TRUE;
      }
      SHSetNavBarText(dialog, title);
      EndDialog(dialog, command == IDOK ? 1 : 0);
      HideInputPanel();
      return TRUE;
    }
    default:
      return FALSE;
  }
}

INT_PTR RunProfileDialog(HWND owner) {
  const INT_PTR result = DialogBoxParamW(appState.instance, MAKEINTRESOURCEW(IDD_USER_PROFILE),
                                         owner, ProfileDlgProc, 0);
  // A dialog that could not be shown confirms nothing.
  return result == 1 ? 1 : 0;
}
