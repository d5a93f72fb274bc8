// Sending and dispatching messages, and timers.
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

LRESULT RunOnOwner(HWND window, const std::function<LRESULT()>& call, LRESULT failure) {
  std::shared_ptr<message::ThreadQueue> owner = message::WindowOwnerQueue(window);
  if (!owner) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return failure;
  }
  std::shared_ptr<message::ThreadQueue> self = message::CurrentThreadQueue();
  if (owner == self) return call();
  auto sent = std::make_shared<message::SentCall>();
  sent->call = call;
  sent->reply_to = self;
  owner->Send(sent);
  self->WaitForReply(*sent);
  return sent->result;
}

WindowRecord* LiveWindow(HWND window) {
  WindowRecord* record = FindWindow(window);
  if (record == nullptr || message::WindowOwnerQueue(window) == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  return record;
}

void NotifyParent(HWND control, WORD code) {
  WindowRecord* record = FindWindow(control);
  if (record == nullptr || record->parent == nullptr) return;
  SendMessageW(record->parent, WM_COMMAND, static_cast<WPARAM>(MAKELONG(record->id, code)),
               reinterpret_cast<LPARAM>(control));
}

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
using murmel::gui::RunOnOwner;

LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return RunOnOwner(
      hWnd,
      [=]() -> LRESULT {
        murmel::gui::WindowRecord* record = LiveWindow(hWnd);
        if (record == nullptr || record->proc == nullptr) return 0;
        return record->proc(hWnd, Msg, wParam, lParam);
      },
      0);
}

LRESULT CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (lpPrevWndFunc == nullptr) return 0;
  return lpPrevWndFunc(hWnd, Msg, wParam, lParam);
}

LRESULT DispatchMessageW(const MSG* lpMsg) {
  if (lpMsg == nullptr || lpMsg->hwnd == nullptr) return 0;
  murmel::gui::WindowRecord* record = LiveWindow(lpMsg->hwnd);
  if (record == nullptr || record->proc == nullptr) return 0;
  // A WM_TIMER with a callback runs the callback instead of the procedure.
  if (lpMsg->message == WM_TIMER && lpMsg->lParam != 0) {
    reinterpret_cast<TIMERPROC>(lpMsg->lParam)(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, lpMsg->time);
    return 0;
  }
  return record->proc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

// Key strokes reach the Qt controls directly, so there is no character to generate here.
BOOL TranslateMessage(const MSG* lpMsg) {
  return lpMsg != nullptr && lpMsg->message == WM_KEYDOWN ? TRUE : FALSE;
}

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
