#include "shell/send_button.h"

#include "audio/voice_display.h"
#include "resources/resource_ids.h"
#include "shell/send_progress.h"
#include "shell/send_thread.h"
#include "shell/voice_control.h"
#include "state/app_state.h"
#include "transfer/send_session.h"
#include "userdata/address_book.h"
#include "userdata/email_address.h"

namespace {

template <std::size_t N>
void ReadControlText(HWND control, Text<N>& into) {
  into.clear();
  GetWindowTextW(control, into.data(), static_cast<int>(N));
}

void ShowNothingToSend(HWND window) {
  Text<64> text;
  LoadStringW(appState.instance, IDS_NO_MESSAGE, text.data(), static_cast<int>(text.capacity()));
  MessageBoxW(window, text, u"Info", MB_OK | MB_ICONINFORMATION);
}

}  // namespace

bool PressSend(HWND window) {
  EndVoiceForSend(window);

  const HWND textBox = GetDlgItem(window, IDC_MESSAGE_TEXT);
  appState.messageText.clear();
  appState.hasMessageText = GetWindowTextLengthW(textBox) >= 1 ? 1 : 0;
  if (appState.hasMessageText == 1) ReadControlText(textBox, appState.messageText);
  if (appState.hasMessageText != 1 && appState.recordingAvailable != 1) {
    ShowNothingToSend(window);
    return false;
  }

  const HWND recipientBox = GetDlgItem(window, IDC_RECIPIENTS);
  const HWND subjectBox = GetDlgItem(window, IDC_SUBJECT);
  ReadControlText(subjectBox, appState.subjectText);
  ReadControlText(recipientBox, appState.recipientsText);
  // Normalises the list in place to addresses separated by single commas.
  if (ValidateEmail(appState.recipientsText.data(), 1) == 0) {
    SetFocus(recipientBox);
    return false;
  }
  AddRecipients(recipientBox, appState.recipientsText);
  SaveAddressBook(recipientBox);

  EnableWindow(recipientBox, FALSE);
  EnableWindow(subjectBox, FALSE);
  EnableWindow(textBox, FALSE);
  SetFocus(PanelControl(window, IDC_STOP));

  SetTransferProgressObserver(ShowSendProgress);
  // Started suspended so that the handle is stored before the thread can clear it.
  DWORD threadId = 0;
  const HANDLE thread =
      CreateThread(nullptr, 0, SendThreadProc, window, CREATE_SUSPENDED, &threadId);
  if (thread == nullptr) return false;
  appState.sendThread = thread;
  appState.sendThreadId = threadId;
  ResumeThread(thread);
  return true;
}
