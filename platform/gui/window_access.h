// Running window operations on the thread that owns the window, as the platform does when
// another thread touches a window (it sends the request and waits).
#pragma once

#include <functional>

#include "platform/gui/window_table.h"
#include "win/gui.h"

namespace murmel::gui {

// Runs `call` on the window's owning thread and returns its result; `failure` (with
// ERROR_INVALID_WINDOW_HANDLE) when the window does not exist.
LRESULT RunOnOwner(HWND window, const std::function<LRESULT()>& call, LRESULT failure);

// The record of a live window on the calling (owning) thread, or null with the last error set.
WindowRecord* LiveWindow(HWND window);

// The window's widget as the control type its class makes, or null.
template <typename Widget>
Widget* WidgetOf(HWND window) {
  WindowRecord* record = FindWindow(window);
  return record == nullptr ? nullptr : dynamic_cast<Widget*>(record->widget.data());
}

// WM_COMMAND to the parent of a control, with the control's id and a notification code.
void NotifyParent(HWND control, WORD code);

}  // namespace murmel::gui
