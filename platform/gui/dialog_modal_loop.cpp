#include <QCoreApplication>
#include <algorithm>
#include <vector>

#include "platform/gui/dialog_manager.h"

namespace murmel::gui {

namespace {

std::vector<HWND>& ModalStack() {
  static std::vector<HWND> stack;
  return stack;
}

}  // namespace

bool RunModalLoop(const std::function<bool()>& finished) {
  MSG msg;
  while (!finished()) {
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return false;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
      continue;
    }
    // A post, a sent call or a user's action wakes this wait; EndDialog runs inside one.
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return true;
}

void PushModal(HWND window) { ModalStack().push_back(window); }

void PopModal(HWND window) {
  auto& stack = ModalStack();
  stack.erase(std::remove(stack.begin(), stack.end(), window), stack.end());
}

HWND InnermostModal() { return ModalStack().empty() ? nullptr : ModalStack().back(); }

}  // namespace murmel::gui
