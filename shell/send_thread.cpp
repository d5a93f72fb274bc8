#include "shell/send_thread.h"

#include <commctrl.h>

#include "audio/voice_display.h"
#include "audio/voice_store.h"
#include "resources/resource_ids.h"
#include "state/app_state.h"
#include "transfer/send_session.h"

namespace {

// The controls the send thread works, looked up once at its start.
struct SendControls {
  HWND recipients;
  HWND subject;
  HWND text;
  HWND timeDisplay;
  HWND progress;
  HWND record;
  HWND stop;
  HWND play;
  HWND send;
};

SendControls FindSendControls(HWND mainWindow) {
  return {GetDlgItem(mainWindow, IDC_RECIPIENTS),   GetDlgItem(mainWindow, IDC_SUBJECT),
          GetDlgItem(mainWindow, IDC_MESSAGE_TEXT), PanelControl(mainWindow, IDC_TIME_DISPLAY),
          PanelControl(mainWindow, IDC_PROGRESS),   PanelControl(mainWindow, IDC_RECORD),
          PanelControl(mainWindow, IDC_STOP),       PanelControl(mainWindow, IDC_PLAY),
          PanelControl(mainWindow, IDC_SEND)};
}

LPARAM ProgressRange(int low, int high) {
  return static_cast<LPARAM>((static_cast<DWORD>(high) << 16) | static_cast<WORD>(low));
}

// Success empties the form so the next message starts fresh.
void ClearSentMessage(const SendControls& controls) {
  appState.recipientsText.clear();
  appState.subjectText.clear();
  appState.messageText.clear();
  SetWindowTextW(controls.recipients, appState.recipientsText);
  SetWindowTextW(controls.subject, appState.subjectText);
  SetWindowTextW(controls.text, appState.messageText);
  appState.attachmentPath.clear();
  appState.attachmentName.clear();
  appState.hasMessageText = 0;
  if (appState.recordingAvailable.load() == 1) {
    FreeVoiceStore();
    appState.recordingAvailable = 0;
    appState.recordedBytes = 0;
  }
  EnableMenuItem(GetSubMenu(appState.menu, MENU_POS_OPTION), IDM_CLEAR_ATTACHMENT,
                 MF_BYCOMMAND | MF_GRAYED);
}

void ShowSendFailure(HWND mainWindow) {
  WCHAR text[512] = {};
  WCHAR caption[64] = {};
  LoadStringW(appState.instance, IDS_CONNECT_FAILED, text, 512);
  LoadStringW(appState.instance, IDS_APP_NAME, caption, 64);
  MessageBoxW(mainWindow, text, caption, MB_ICONHAND | MB_OK);
}

void RestoreControls(const SendControls& controls) {
  for (const HWND control : {controls.recipients, controls.subject, controls.text, controls.record,
                             controls.stop, controls.play, controls.send}) {
    EnableWindow(control, TRUE);
  }
  SendMessageW(controls.progress, PBM_SETRANGE, 0, ProgressRange(0, 200));
  SendMessageW(controls.progress, PBM_SETPOS, 0, 0);
  SetWindowTextW(controls.timeDisplay, u"0.0s");
  SetFocus(controls.recipients);
}

}  // namespace

DWORD WINAPI SendThreadProc(LPVOID mainWindowParameter) {
  const HWND mainWindow = static_cast<HWND>(mainWindowParameter);
  appState.recorderState = RECORDER_SENDING;
  const SendControls controls = FindSendControls(mainWindow);

  const VoiceStoreView store{appState.voiceHead, appState.voiceTail};
  const VoiceStoreView* voice = appState.recordingAvailable.load() != 0 ? &store : nullptr;
  const BOOL hasAttachment = appState.attachmentPath.empty() ? FALSE : TRUE;
  appState.cancelRequested = 0;

  EnableWindow(controls.record, FALSE);
  EnableWindow(controls.stop, TRUE);
  EnableWindow(controls.play, FALSE);
  EnableWindow(controls.send, FALSE);

  Text<1024> sender;
  wsprintfW(sender, u"\"%s\" <%s>", appState.name, appState.email);

  SendMessageW(controls.progress, PBM_SETRANGE, 0, ProgressRange(0, 100));
  SendMessageW(controls.progress, PBM_SETPOS, 0, 0);
  SetWindowTextW(controls.timeDisplay, u"0%");

  const int result =
      SendVoiceMessage(voice, appState.hasMessageText != 0 ? appState.messageText.data() : nullptr,
                       hasAttachment, sender, appState.recipientsText, appState.subjectText);

  // A Stop that came after the last test still keeps the form: the user asked to stop.
  if (appState.cancelRequested.load() == 0) {
    if (result == 1) {
      ClearSentMessage(controls);
    } else {
      ShowSendFailure(mainWindow);
    }
  }
  RestoreControls(controls);

  const HANDLE self = appState.sendThread.exchange(nullptr);
  if (self != nullptr) CloseHandle(self);
  appState.recorderState = RECORDER_IDLE;
  return 0;
}
