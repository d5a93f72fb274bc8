// Window records: each HWND is bound to the thread that created it, and messages posted to
// it go to that thread's queue. The GUI layer creates its windows through this registry and
// keeps its own per-window data keyed by the HWND.
#pragma once

#include <memory>

#include "platform/message/thread_queue.h"
#include "win/types.h"

namespace murmel::message {

// A new window owned by the calling thread. Handles are not reused while a stale copy
// could still be misused.
HWND CreateWindowRecord();
// False when the handle is not a live window.
bool DestroyWindowRecord(HWND window);
// The owning thread's queue, or null when the handle is not a live window.
std::shared_ptr<ThreadQueue> WindowOwnerQueue(HWND window);
// Called when a thread ends: its windows go with it.
void DestroyWindowsOf(const ThreadQueue* owner);

}  // namespace murmel::message
