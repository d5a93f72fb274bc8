// The platform's posted-message functions over the per-thread queues.
#include "platform/message/remote_post.h"
#include "platform/message/thread_queue.h"
#include "platform/message/window_registry.h"
#include "win/error.h"
#include "win/message.h"

namespace {

using murmel::message::MessageFilter;
using murmel::message::ThreadMessagesOnly;
using murmel::message::ThreadQueue;

// A window filter must name a live window; null and -1 are the two special filters.
bool WindowFilterValid(HWND window) {
  return window == nullptr || window == ThreadMessagesOnly() ||
         murmel::message::WindowOwnerQueue(window) != nullptr;
}

}  // namespace

BOOL PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<ThreadQueue> queue = hWnd == nullptr ? murmel::message::CurrentThreadQueue()
                                                       : murmel::message::WindowOwnerQueue(hWnd);
  if (!queue) {
    // A window of another process is reached through the GUI layer's carrier.
    if (hWnd != nullptr && murmel::message::PostToRemote(hWnd, Msg, wParam, lParam)) return TRUE;
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  queue->Post(MSG{hWnd, Msg, wParam, lParam, murmel::message::MessageTime(), {0, 0}});
  return TRUE;
}

BOOL GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
  if (lpMsg == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (!WindowFilterValid(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return -1;
  }
  murmel::message::CurrentThreadQueue()->Take(MessageFilter{hWnd, wMsgFilterMin, wMsgFilterMax},
                                              ThreadQueue::Mode::kRemove, true, *lpMsg);
  return lpMsg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
  if (lpMsg == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!WindowFilterValid(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  const auto mode =
      (wRemoveMsg & PM_REMOVE) != 0 ? ThreadQueue::Mode::kRemove : ThreadQueue::Mode::kPeek;
  return murmel::message::CurrentThreadQueue()->Take(
             MessageFilter{hWnd, wMsgFilterMin, wMsgFilterMax}, mode, false, *lpMsg)
             ? TRUE
             : FALSE;
}

void PostQuitMessage(int nExitCode) { murmel::message::CurrentThreadQueue()->PostQuit(nExitCode); }

BOOL IsWindow(HWND hWnd) {
  return murmel::message::WindowOwnerQueue(hWnd) != nullptr ? TRUE : FALSE;
}
