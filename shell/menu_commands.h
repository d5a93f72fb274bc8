// The main window's commands: the Option and Help pop-ups and what their items do.
#pragma once

#include <windows.h>

// Every WM_COMMAND of the main window: handles the command, then always hands the control
// and notification code on to the recipient completion.
void OnCommand(HWND window, int commandId, HWND control, int notificationCode);

// Opens the help or home page of a help command in the browser; string 15 when there is no
// browser. The result is only informative.
BOOL OpenWebPage(HWND window, int commandId);

// The About box's procedure.
INT_PTR AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Moves a dialog 8 pixels to the right, keeping its size; 1.
int ShiftDialogRight(HWND dialog);
