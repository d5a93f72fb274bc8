// The owner-drawn look of the main window: button pictures chosen by state, and the
// tiled background.
#pragma once

#include <windows.h>

// Loads bitmap resource id + bitmapIdOffset; null when it cannot be loaded.
HBITMAP LoadSkinBitmap(int id);

// The round buttons of the panel (Record, Stop, Play, Send).
void DrawPanelButton(const DRAWITEMSTRUCT* item);
// The Option and Help buttons of the main window.
void DrawMenuButton(const DRAWITEMSTRUCT* item);

// Fills the window's background: tiles on a true-colour screen, white on a palette one.
// Always returns 1.
LRESULT EraseBackground(HWND window, HDC dc);
