#include <commctrl.h>

#include <atomic>

#include "resources/resource_ids.h"
#include "state/app_state.h"
#include "transfer/send_session.h"

namespace {

// Set by the command-line sender's thread, read by whichever thread sends.
std::atomic<TransferProgressObserver> progressObserver{nullptr};

}  // namespace

void SetTransferProgressObserver(TransferProgressObserver observer) {
  progressObserver.store(observer);
}

void ShowTransferProgress(int percent) {
  wsprintfW(appState.progressText, u"%d%%", percent);
  // Without a main window (the command-line sender) there are no controls to move.
  if (appState.mainWindow != nullptr) {
    const HWND panel = GetDlgItem(appState.mainWindow, IDC_BUTTON_PANEL);
    if (panel != nullptr) {
      SendMessageW(GetDlgItem(panel, IDC_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(percent), 0);
      SetWindowTextW(GetDlgItem(panel, IDC_TIME_DISPLAY), appState.progressText);
    }
  }
  const TransferProgressObserver observer = progressObserver.load();
  if (observer != nullptr) observer(percent);
}
