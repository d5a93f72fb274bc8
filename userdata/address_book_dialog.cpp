#include "userdata/address_book_dialog.h"

#include <aygshell.h>

#include <string>

#include "resources/resource_ids.h"
#include "state/app_state.h"
#include "userdata/address_book.h"
#include "userdata/email_address.h"
#include "userdata/input_panel.h"

namespace {

constexpr const WCHAR* ADDRESS_BOOK_DIALOG_TITLE = u"Manage Address Book";

HWND RecipientBoxOf(HWND dialog) { return GetDlgItem(GetParent(dialog), IDC_RECIPIENTS); }

std::u16string ListText(HWND list, UINT lengthMessage, UINT textMessage, int index) {
  const LRESULT length = SendMessageW(list, lengthMessage, static_cast<WPARAM>(index), 0);
  if (length < 0) return {};
  std::u16string text(static_cast<std::size_t>(length), u'\0');
  SendMessageW(list, textMessage, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(text.data()));
  return text;
}

void OnInitDialog(HWND dialog) {
  SHINITDLGINFO fullScreen{};
  fullScreen.dwMask = SHIDIM_FLAGS;
  fullScreen.hDlg = dialog;
  fullScreen.dwFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN;
  SHInitDialog(&fullScreen);
  SHSetNavBarText(dialog, ADDRESS_BOOK_DIALOG_TITLE);

  // The working list sorts what it receives.
  const HWND recipients = RecipientBoxOf(dialog);
  const HWND list = GetDlgItem(dialog, IDC_ADDRESS_LIST);
  const int count = static_cast<int>(SendMessageW(recipients, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    const std::u16string entry = ListText(recipients, CB_GETLBTEXTLEN, CB_GETLBTEXT, i);
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
  }
  UpdateAddressCount(dialog);
  ShowInputPanel();
}

void OnAdd(HWND dialog) {
  WCHAR entry[ADDRESS_ENTRY_MAX_LENGTH + 1] = {};
  GetDlgItemTextW(dialog, IDC_ADDRESS_ENTRY, entry, ADDRESS_ENTRY_MAX_LENGTH + 1);
  if (ValidateEmail(entry, 0) == 0) {
    // Left for correction: the text is selected, nothing is said.
    SendDlgItemMessageW(dialog, IDC_ADDRESS_ENTRY, EM_SETSEL, 0, -1);
    return;
  }
  const HWND list = GetDlgItem(dialog, IDC_ADDRESS_LIST);
  const LRESULT found = SendMessageW(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(entry));
  if (found == LB_ERR) {
    const LRESULT added = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(added), 0);
    UpdateAddressCount(dialog);
  } else {
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(found), 0);
  }
  SetDlgItemTextW(dialog, IDC_ADDRESS_ENTRY, u"");
}

void OnDelete(HWND dialog) {
  const HWND list = GetDlgItem(dialog, IDC_ADDRESS_LIST);
  const LRESULT selected = SendMessageW(list, LB_GETCURSEL, 0, 0);
  if (selected != LB_ERR) {
    SendMessageW(list, LB_DELETESTRING, static_cast<WPARAM>(selected), 0);
    // The entry that followed takes the selection; after the last one nothing is selected.
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(selected), 0);
  }
  UpdateAddressCount(dialog);
}

void CloseAddressBook(HWND dialog, INT_PTR result) {
  WCHAR title[64] = {};
  LoadStringW(appState.instance, IDS_APP_TITLE, title, 64);
  SHSetNavBarText(dialog, title);
  EndDialog(dialog, result);
}

}  // namespace

void UpdateAddressCount(HWND dialog) {
  const int count =
      static_cast<int>(SendDlgItemMessageW(dialog, IDC_ADDRESS_LIST, LB_GETCOUNT, 0, 0));
  WCHAR format[64] = {};
  LoadStringW(appState.instance, count < 2 ? IDS_ADDRESS_COUNT_ONE : IDS_ADDRESS_COUNT_MANY, format,
              64);
  WCHAR label[80];
  wsprintfW(label, format, count);
  SetDlgItemTextW(dialog, IDC_ADDRESS_COUNT, label);
}

void CopyListToRecipients(HWND dialog) {
  const HWND recipients = RecipientBoxOf(dialog);
  SendMessageW(recipients, CB_RESETCONTENT, 0, 0);
  SetWindowTextW(recipients, u"");
  const HWND list = GetDlgItem(dialog, IDC_ADDRESS_LIST);
  const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    AddRecipients(recipients, ListText(list, LB_GETTEXTLEN, LB_GETTEXT, i).c_str());
  }
}

INT_PTR AddressBookDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  if (message == WM_INITDIALOG) {
    OnInitDialog(dialog);
    return TRUE;  // the focus goes to the first control that takes it, the working list
  }
  if (message != WM_COMMAND) return FALSE;

  const int id = LOWORD(wParam);
  const int code = HIWORD(wParam);
  // Enter adds only while the entry field has the focus; otherwise the default command is
  // one that no control bears.
  if (id == IDC_ADDRESS_ENTRY && code == EN_SETFOCUS) {
    SendMessageW(dialog, DM_SETDEFID, IDC_ADDRESS_ADD, 0);
  } else if (id == IDC_ADDRESS_ENTRY && code == EN_KILLFOCUS) {
    SendMessageW(dialog, DM_SETDEFID, IDC_ADDRESS_NO_DEFAULT, 0);
  }
  if (code == LBN_SELCHANGE) UpdateAddressCount(dialog);
  if (code != BN_CLICKED) return TRUE;

  switch (id) {
    case IDC_ADDRESS_ADD:
      OnAdd(dialog);
      break;
    case IDC_ADDRESS_DELETE:
      OnDelete(dialog);
      break;
    case IDOK:
      CopyListToRecipients(dialog);
      CloseAddressBook(dialog, 1);
      break;
    case IDCANCEL:
      CloseAddressBook(dialog, 0);
      break;
    default:
      break;
  }
  return TRUE;
}

INT_PTR RunAddressBookDialog(HWND owner) {
  const INT_PTR result = DialogBoxParamW(appState.instance, MAKEINTRESOURCEW(IDD_ADDRESS_BOOK),
                                         owner, AddressBookDlgProc, 0);
  return result == 1 ? 1 : 0;
}
