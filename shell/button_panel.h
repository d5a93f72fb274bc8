// The button panel: Record, Stop, Play and Send, drawn by the owner and living inside
// the subclassed panel bitmap.
#pragma once

#include <windows.h>

// The panel's subclass procedure: its buttons' commands and drawing; the rest goes to the
// static control's own procedure.
LRESULT PanelWndProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam);

// A press of one of the four buttons; other ids are ignored.
void OnPanelCommand(HWND panel, int commandId);
