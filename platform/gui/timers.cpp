// Window and thread timers: Qt timers on the owning thread that post WM_TIMER.
#include <QTimer>
#include <map>
#include <memory>
#include <utility>

#include "platform/gui/screen.h"
#include "platform/gui/window_access.h"
#include "platform/gui/window_state.h"
#include "platform/message/thread_queue.h"
#include "platform/message/window_registry.h"
#include "win/error.h"
#include "win/gui.h"

namespace murmel::gui {

namespace {

struct TimerKey {
  HWND window;
  UINT_PTR id;
  bool operator<(const TimerKey& other) const {
    return std::pair(window, id) < std::pair(other.window, other.id);
  }
};

std::map<TimerKey, std::unique_ptr<QTimer>>& Timers() {
  static std::map<TimerKey, std::unique_ptr<QTimer>> timers;
  return timers;
}

}  // namespace

void KillTimersOf(HWND window) {
  auto& timers = Timers();
  for (auto it = timers.begin(); it != timers.end();) {
    it = it->first.window == window ? timers.erase(it) : std::next(it);
  }
}

}  // namespace murmel::gui

using murmel::gui::LiveWindow;
using murmel::message::RunOnOwner;

UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
  murmel::gui::EnsureApplication();
  const auto start = [=]() -> LRESULT {
    if (hWnd != nullptr && LiveWindow(hWnd) == nullptr) return 0;
    auto& timer = murmel::gui::Timers()[{hWnd, nIDEvent}];
    if (!timer) timer = std::make_unique<QTimer>();
    timer->disconnect();
    timer->setInterval(static_cast<int>(uElapse));
    QObject::connect(timer.get(), &QTimer::timeout, [hWnd, nIDEvent, lpTimerFunc] {
      PostMessageW(hWnd, WM_TIMER, nIDEvent, reinterpret_cast<LPARAM>(lpTimerFunc));
    });
    timer->start();
    return static_cast<LRESULT>(nIDEvent == 0 ? 1 : nIDEvent);
  };
  // A window's timers live on its own thread, whichever thread asks: a Qt timer only runs
  // on the thread that owns it.
  return static_cast<UINT_PTR>(hWnd == nullptr ? start() : RunOnOwner(hWnd, start, 0));
}

BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
  const auto kill = [=]() -> LRESULT {
    auto& timers = murmel::gui::Timers();
    auto it = timers.find({hWnd, uIDEvent});
    if (it == timers.end()) return FALSE;
    timers.erase(it);
    return TRUE;
  };
  return static_cast<BOOL>(hWnd == nullptr ? kill() : RunOnOwner(hWnd, kill, FALSE));
}
