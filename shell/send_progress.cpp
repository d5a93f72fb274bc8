#include "shell/send_progress.h"

#include <commctrl.h>

#include "audio/voice_display.h"
#include "resources/resource_ids.h"
#include "state/app_state.h"

void ShowSendProgress(int percent) {
  if (HWND progress = PanelControl(appState.mainWindow, IDC_PROGRESS)) {
    SendMessageW(progress, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
  }
  if (HWND label = PanelControl(appState.mainWindow, IDC_TIME_DISPLAY)) {
    SetWindowTextW(label, appState.progressText);
  }
}
