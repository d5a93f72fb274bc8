// The Send button's thread: runs the send session over the form's contents, keeps the
// panel's buttons and progress in step, and empties the form after a success.
#pragma once

#include <windows.h>

// The thread's body; parameter is the main window (null without one). Always ends with 0.
DWORD WINAPI SendThreadProc(LPVOID mainWindow);
