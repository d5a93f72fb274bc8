#include "shell/menu_commands.h"

#include "resources/resource_ids.h"
#include "shell/app_state.h"
#include "shell/recipient_completion.h"
#include "shell/startup.h"
#include "transfer/picture_session.h"
#include "userdata/address_book.h"
#include "userdata/address_book_dialog.h"
#include "userdata/input_panel.h"
#include "userdata/profile_dialog.h"

namespace {

constexpr int DIALOG_SHIFT = 8;

// Both pop-ups open at the Option button's bottom-right corner, right-aligned to it.
void ShowPopup(HWND window, int position) {
  RECT option{};
  GetWindowRect(GetDlgItem(window, IDC_OPTION), &option);
  TrackPopupMenuEx(GetSubMenu(appState.menu, position), TPM_RIGHTALIGN | TPM_TOPALIGN, option.right,
                   option.bottom, window, nullptr);
}

Text<512> LoadText(int id) {
  Text<512> text;
  LoadStringW(appState.instance, static_cast<UINT>(id), text.data(),
              static_cast<int>(text.capacity()));
  return text;
}

void ClearAttachment(HWND window) {
  Text<512> question;
  wsprintfW(question, LoadText(IDS_CLEAR_ATTACHMENT_QUESTION), appState.attachmentPath);
  if (MessageBoxW(window, question, LoadText(IDS_CLEAR_ATTACHMENT_CAPTION),
                  MB_YESNO | MB_ICONQUESTION) != IDYES) {
    return;
  }
  // The name keeps its text: an empty path alone means no attachment.
  appState.attachmentPath.clear();
  EnableMenuItem(appState.menu, IDM_CLEAR_ATTACHMENT, MF_BYCOMMAND | MF_GRAYED);
}

void StartCustomPictureThread(int mode) {
  appState.customPictureMode = mode;
  DWORD threadId = 0;
  appState.customPictureThread =
      CreateThread(nullptr, 0, CustomPictureThread, nullptr, 0, &threadId);
  appState.customPictureThreadId = threadId;
}

void ClearCustomPicture(HWND window) {
  if (MessageBoxW(window, LoadText(IDS_CLEAR_CUSTOM_PICTURE_QUESTION),
                  LoadText(IDS_CLEAR_CUSTOM_PICTURE_CAPTION),
                  MB_YESNO | MB_ICONQUESTION) == IDYES) {
    StartCustomPictureThread(0);
  }
}

void ManageAddressBook(HWND window) {
  if (RunAddressBookDialog(window) != 0) SaveAddressBook(GetDlgItem(window, IDC_RECIPIENTS));
  HideInputPanel();
}

void ShowAbout(HWND window) {
  // NOLINTNEXTLINE(performance-no-int-to-ptr): resource ids travel as pointers
  const HRSRC found = FindResourceW(appState.instance, MAKEINTRESOURCEW(IDD_ABOUT), RT_DIALOG);
  if (found == nullptr) return;
  const HGLOBAL loaded = LoadResource(appState.instance, found);
  DialogBoxIndirectParamW(appState.instance, static_cast<LPCDLGTEMPLATEW>(LockResource(loaded)),
                          window, AboutDlgProc, 0);
}

}  // namespace

void OnCommand(HWND window, int commandId, HWND control, int notificationCode) {
  switch (commandId) {
    case IDC_OPTION:
      ShowPopup(window, MENU_POS_OPTION);
      break;
    case IDC_HELP:
      ShowPopup(window, MENU_POS_HELP);
      break;
    case IDM_CLEAR_ATTACHMENT:
      ClearAttachment(window);
      break;
    case IDM_CLEAR_CUSTOM_PICTURE:
      ClearCustomPicture(window);
      break;
    case IDM_ADDRESS_BOOK:
      ManageAddressBook(window);
      break;
    case IDM_USER_PROFILE:
      RunProfileDialog(window);
      HideInputPanel();
      break;
    case IDM_EXIT:
      CloseApplication(window);
      break;
    case IDM_ABOUT:
      ShowAbout(window);
      break;
    default:
      break;
  }
  CompleteRecipient(window, control, notificationCode);
}

INT_PTR AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  switch (message) {
    case WM_INITDIALOG:
      ShiftDialogRight(dialog);
      return 1;  // the platform sets the default focus
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 0);
      return 0;
    default:
      return 0;
  }
}

int ShiftDialogRight(HWND dialog) {
  RECT frame{};
  GetWindowRect(dialog, &frame);
  MoveWindow(dialog, frame.left + DIALOG_SHIFT, frame.top, frame.right - frame.left,
             frame.bottom - frame.top, TRUE);
  return 1;
}
