#include "shell/menu_commands.h"

#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <iterator>

#include "resources/home_page.h"
#include "resources/resource_ids.h"
#include "shell/recipient_completion.h"
#include "shell/startup.h"
#include "state/app_state.h"
#include "transfer/picture_session.h"
#include "userdata/address_book.h"
#include "userdata/address_book_dialog.h"
#include "userdata/input_panel.h"
#include "userdata/profile_dialog.h"

namespace {

constexpr int DIALOG_SHIFT = 8;
constexpr DWORD CUSTOM_PICTURE_LIMIT = 100 * 1024;  // bytes; exactly this much is accepted

// Filter pairs (name, patterns), ended by an empty pair.
constexpr char16_t ATTACH_FILTERS[] =
    u"All Files (*.*)\0*.*\0Picture Files (*.gif;*.jpg;*.jpeg)\0*.gif;*.jpg;*.jpeg\0";
constexpr char16_t PICTURE_FILTERS[] = u"Picture Files (*.gif;*.jpg;*.jpeg)\0*.gif;*.jpg;*.jpeg\0";
constexpr char16_t PICTURE_FOLDER[] = u"\\My Documents\\";

// Each help command's page, formatted with the home-page URL.
struct HelpPage {
  int commandId;
  const char16_t* format;
};
constexpr HelpPage HELP_PAGES[] = {
    {IDM_HOMEPAGE, u"%s/"},
    {IDM_QUICK_TUTORIAL, u"%s/help/helpquick/"},
    {IDM_CE_TUTORIAL, u"%s/alpha/ce.html"},
    {IDM_TROUBLE_RECORDING, u"%s/help/help1/"},
    {IDM_TROUBLE_PLAYING, u"%s/help/help2/"},
    {IDM_TROUBLE_SENDING, u"%s/help/help3/"},
    {IDM_TROUBLE_ADDRESS_BOOK, u"%s/help/help4/"},
};

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

// The file-open dialog over `path`, which starts the name field and receives the choice;
// 0 when cancelled.
BOOL ChooseFile(HWND window, LPCWSTR title, LPCWSTR filters, Text<260>& path, WORD* nameOffset) {
  OPENFILENAMEW request{};
  request.lStructSize = sizeof(request);
  request.hwndOwner = window;
  request.lpstrFilter = filters;
  request.nFilterIndex = 1;
  request.lpstrFile = path.data();
  request.nMaxFile = static_cast<DWORD>(path.capacity());
  request.lpstrInitialDir = PICTURE_FOLDER;
  request.lpstrTitle = title;
  request.Flags = OFN_FILEMUSTEXIST;
  if (GetOpenFileNameW(&request) == 0) return FALSE;
  if (nameOffset != nullptr) *nameOffset = request.nFileOffset;
  return TRUE;
}

void AttachFile(HWND window) {
  WORD nameOffset = 0;
  if (ChooseFile(window, u"Attach File or Picture", ATTACH_FILTERS, appState.attachmentPath,
                 &nameOffset) == 0) {
    return;
  }
  appState.attachmentName = appState.attachmentPath.data() + nameOffset;
  EnableMenuItem(appState.menu, IDM_CLEAR_ATTACHMENT, MF_BYCOMMAND | MF_ENABLED);
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
  // Started suspended: the thread's last act closes the stored handle, so it must be
  // stored first, or a fast failure leaves the field holding a finished thread.
  DWORD threadId = 0;
  const HANDLE thread =
      CreateThread(nullptr, 0, CustomPictureThread, nullptr, CREATE_SUSPENDED, &threadId);
  if (thread == nullptr) return;
  appState.customPictureThread = thread;
  appState.customPictureThreadId = threadId;
  ResumeThread(thread);
}

void ChooseCustomPicture(HWND window) {
  if (ChooseFile(window, u"Custom Message Picture", PICTURE_FILTERS, appState.customPicturePath,
                 nullptr) == 0) {
    return;
  }
  const HANDLE file = CreateFileW(appState.customPicturePath, GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const DWORD size = GetFileSize(file, nullptr);
  CloseHandle(file);
  if (size > CUSTOM_PICTURE_LIMIT) {
    MessageBoxW(window, LoadText(IDS_CUSTOM_PICTURE_TOO_BIG), LoadText(IDS_APP_NAME),
                MB_OK | MB_ICONSTOP);
    return;
  }
  // Told first: the registration's outcome arrives later, as an e-mail to the user.
  MessageBoxW(window, LoadText(IDS_CUSTOM_PICTURE_VERIFY), LoadText(IDS_APP_NAME),
              MB_OK | MB_ICONINFORMATION);
  StartCustomPictureThread(PICTURE_REGISTER);
}

void ClearCustomPicture(HWND window) {
  if (MessageBoxW(window, LoadText(IDS_CLEAR_CUSTOM_PICTURE_QUESTION),
                  LoadText(IDS_CLEAR_CUSTOM_PICTURE_CAPTION),
                  MB_YESNO | MB_ICONQUESTION) == IDYES) {
    StartCustomPictureThread(PICTURE_CLEAR);
  }
}

void ManageAddressBook(HWND window) {
  if (RunAddressBookDialog(window) != 0) SaveAddressBook(GetDlgItem(window, IDC_RECIPIENTS));
  HideInputPanel();
}

void ShowAbout(HWND window) {
  const HRSRC found = FindResourceW(appState.instance, MAKEINTRESOURCEW(IDD_ABOUT), RT_DIALOG);
  if (found == nullptr) return;
  const HGLOBAL loaded = LoadResource(appState.instance, found);
  DialogBoxIndirectParamW(appState.instance, static_cast<LPCDLGTEMPLATEW>(LockResource(loaded)),
                          window, AboutDlgProc, 0);
}

}  // namespace

BOOL OpenWebPage(HWND window, int commandId) {
  const auto page =
      std::find_if(std::begin(HELP_PAGES), std::end(HELP_PAGES),
                   [commandId](const HelpPage& p) { return p.commandId == commandId; });
  if (page == std::end(HELP_PAGES)) return FALSE;
  Text<256> url;
  wsprintfW(url, page->format, HOME_PAGE_URL);

  SHELLEXECUTEINFO request{};
  request.cbSize = sizeof(request);
  request.hwnd = appState.mainWindow;
  request.lpVerb = u"open";
  request.lpFile = u"\\Windows\\iexplore.exe";
  request.lpParameters = url;
  request.nShow = SW_SHOWNORMAL;
  if (ShellExecuteEx(&request) != 0) return TRUE;

  const DWORD error = GetLastError();
  SetForegroundWindow(appState.mainWindow);
  if (error == ERROR_FILE_NOT_FOUND) {
    MessageBoxW(window, LoadText(IDS_NO_BROWSER), LoadText(IDS_APP_NAME), MB_OK | MB_ICONSTOP);
  }
  return FALSE;
}

void OnCommand(HWND window, int commandId, HWND control, int notificationCode) {
  switch (commandId) {
    case IDC_OPTION:
      ShowPopup(window, MENU_POS_OPTION);
      break;
    case IDC_HELP:
      ShowPopup(window, MENU_POS_HELP);
      break;
    case IDM_ATTACH_FILE:
      AttachFile(window);
      break;
    case IDM_CLEAR_ATTACHMENT:
      ClearAttachment(window);
      break;
    case IDM_CUSTOM_PICTURE:
      ChooseCustomPicture(window);
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
    case IDM_HOMEPAGE:
    case IDM_QUICK_TUTORIAL:
    case IDM_CE_TUTORIAL:
    case IDM_TROUBLE_RECORDING:
    case IDM_TROUBLE_PLAYING:
    case IDM_TROUBLE_SENDING:
    case IDM_TROUBLE_ADDRESS_BOOK:
      OpenWebPage(window, commandId);
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
