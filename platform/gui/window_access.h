// A window's record from the thread that owns it; operations from other threads go through
// RunOnOwner.
#pragma once

#include "platform/gui/window_table.h"
#include "platform/message/window_registry.h"
#include "win/gui.h"

namespace murmel::gui {

using message::RunOnOwner;

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
