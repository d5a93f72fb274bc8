// The main window's procedure: what it does with each message.
#pragma once

#include <windows.h>

// Asked by another process (or anyone) to close the application: one below WM_USER.
constexpr UINT WM_CLOSE_REQUEST = 1023;

LRESULT MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
