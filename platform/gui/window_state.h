// Shared pieces of the window layer: activation, text copying, built-in classes, timers.
#pragma once

#include <QString>

#include "win/gui.h"

namespace murmel::gui {

// Makes the top-level window of `window` the active one (navigation bar title, WM_ACTIVATE).
void Activate(HWND window);
HWND ActiveTopLevel();

// WM_GETTEXT: copies at most capacity - 1 characters and a NUL; returns the count copied.
LRESULT CopyTextOut(const QString& text, WPARAM capacity, LPARAM buffer);
QString TextFromParam(LPARAM text);

// "STATIC", "EDIT", "button", "COMBOBOX", "LISTBOX" and "msctls_progress32".
void RegisterBuiltInClasses();

void KillTimersOf(HWND window);

}  // namespace murmel::gui
