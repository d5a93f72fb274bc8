#include "platform/gui/menu_modal_loop.h"

#include <QCoreApplication>

#include "win/gui.h"

namespace murmel::gui {

bool RunModalLoop(const std::function<bool()>& done) {
  while (!done()) {
    MSG msg;
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return false;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
      continue;
    }
    // A post from any thread wakes this wait (the queue's event-loop hook).
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return true;
}

}  // namespace murmel::gui
