// Window records: each HWND is bound to the thread that created it, and messages posted to
// it go to that thread's queue. The GUI layer creates its windows through this registry and
// keeps its own per-window data keyed by the HWND.
#pragma once

#include <functional>
#include <memory>

#include "platform/message/thread_queue.h"
#include "win/message.h"

namespace murmel::message {

// A new window owned by the calling thread. Handles are not reused while a stale copy
// could still be misused.
HWND CreateWindowRecord();
// False when the handle is not a live window.
bool DestroyWindowRecord(HWND window);
// The owning thread's queue, or null when the handle is not a live window.
std::shared_ptr<ThreadQueue> WindowOwnerQueue(HWND window);
// The window's procedure, null for a dead window; setting returns the previous one.
WNDPROC WindowProcedure(HWND window);
WNDPROC SetWindowProcedure(HWND window, WNDPROC procedure);
// Runs `call` on the window's owning thread and returns its result, as the platform does
// when another thread touches a window (it sends the request and waits); `failure` (with
// ERROR_INVALID_WINDOW_HANDLE) when the window does not exist.
LRESULT RunOnOwner(HWND window, const std::function<LRESULT()>& call, LRESULT failure);
// Called when a thread ends: its windows go with it.
void DestroyWindowsOf(const ThreadQueue* owner);

}  // namespace murmel::message
