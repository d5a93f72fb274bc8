#include "shell/button_panel.h"

#include "resources/resource_ids.h"
#include "shell/send_button.h"
#include "shell/skin.h"
#include "shell/voice_control.h"
#include "state/app_state.h"

LRESULT PanelWndProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DRAWITEM:
      DrawPanelButton(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return 0;
    case WM_COMMAND:
      // Any notification of a button counts as a press.
      OnPanelCommand(panel, LOWORD(wParam));
      return 0;
    default:
      return CallWindowProcW(appState.panelDefaultProc, panel, message, wParam, lParam);
  }
}

void OnPanelCommand(HWND /*panel*/, int commandId) {
  const HWND window = appState.mainWindow;
  switch (commandId) {
    case IDC_RECORD:
      PressRecord(window);
      return;
    case IDC_STOP:
      // During a send Stop is the cancel button; the send thread ends itself.
      if (appState.sendThread.load() != nullptr) {
        appState.cancelRequested = 1;
        return;
      }
      PressStop(window);
      return;
    case IDC_PLAY:
      PressPlay(window);
      return;
    case IDC_SEND:
      PressSend(window);
      return;
    default:
      return;
  }
}
