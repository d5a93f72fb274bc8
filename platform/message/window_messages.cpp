// Sent and dispatched messages: both call the window's procedure on its own thread.
#include "platform/message/window_registry.h"
#include "win/error.h"
#include "win/message.h"

namespace {

// The procedure of a live window, or null with the last error set.
WNDPROC LiveProcedure(HWND window) {
  if (murmel::message::WindowOwnerQueue(window) == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  return murmel::message::WindowProcedure(window);
}

}  // namespace

LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return murmel::message::RunOnOwner(
      hWnd,
      [=]() -> LRESULT {
        WNDPROC procedure = LiveProcedure(hWnd);
        return procedure == nullptr ? 0 : procedure(hWnd, Msg, wParam, lParam);
      },
      0);
}

LRESULT CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (lpPrevWndFunc == nullptr) return 0;
  return lpPrevWndFunc(hWnd, Msg, wParam, lParam);
}

LRESULT DispatchMessageW(const MSG* lpMsg) {
  if (lpMsg == nullptr || lpMsg->hwnd == nullptr) return 0;
  WNDPROC procedure = LiveProcedure(lpMsg->hwnd);
  if (procedure == nullptr) return 0;
  // A WM_TIMER with a callback runs the callback instead of the procedure.
  if (lpMsg->message == WM_TIMER && lpMsg->lParam != 0) {
    reinterpret_cast<TIMERPROC>(lpMsg->lParam)(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, lpMsg->time);
    return 0;
  }
  return procedure(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

// Key strokes reach the Qt controls directly, so there is no character to generate here.
BOOL TranslateMessage(const MSG* lpMsg) {
  return lpMsg != nullptr && lpMsg->message == WM_KEYDOWN ? TRUE : FALSE;
}
