// The built-in control classes and what they share.
#pragma once

#include <QWidget>

#include "platform/gui/window_table.h"

namespace murmel::gui {

WindowClass StaticClass();
WindowClass EditClass();
WindowClass ButtonClass();
WindowClass ProgressClass();
WindowClass ComboBoxClass();
WindowClass ListBoxClass();

// Tells the control's parent when `widget` gains or loses the focus (WM_COMMAND codes).
void NotifyFocus(QWidget* widget, HWND control, WORD set_code, WORD kill_code);

// The frame of a control with a border or an edge style.
bool HasEdge(const WindowRecord& record);

}  // namespace murmel::gui
