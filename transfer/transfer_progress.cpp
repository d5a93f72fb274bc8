#include <atomic>

#include "state/app_state.h"
#include "transfer/send_session.h"

namespace {

// Set by the shell before a send or by the command-line sender; read by the sending thread.
std::atomic<TransferProgressObserver> progressObserver{nullptr};

}  // namespace

void SetTransferProgressObserver(TransferProgressObserver observer) {
  progressObserver.store(observer);
}

void ShowTransferProgress(int percent) {
  wsprintfW(appState.progressText, u"%d%%", percent);
  const TransferProgressObserver observer = progressObserver.load();
  if (observer != nullptr) observer(percent);
}
