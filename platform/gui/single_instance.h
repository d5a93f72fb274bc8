// Top-level windows seen from other processes of the same user. The first process to
// create a top-level window of a class holds a lock file for that class and listens on a
// local socket next to it (both under $XDG_RUNTIME_DIR). Another process that looks for
// the class connects there and gets a handle that stands for the window: raising it and
// posting to it travel over the socket. A crashed holder leaves a stale lock and socket,
// which the next holder clears.
#pragma once

#include <string>

#include "win/types.h"

namespace murmel::gui {

// Called on the user-interface thread when a top-level window is created or destroyed.
void PublishTopLevel(HWND window, const std::u16string& class_name);
void WithdrawTopLevel(HWND window);

// A handle for the window of that class in another process, or null when none answers.
HWND FindRemoteWindow(const std::u16string& class_name);
bool IsRemoteWindow(HWND window);
// Both false when the other process is gone.
bool RaiseRemoteWindow(HWND window);
bool PostToRemoteWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace murmel::gui
