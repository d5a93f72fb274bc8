// The profile dialog (dialog resource 107): entering and checking the sender's profile.
#pragma once

#include <windows.h>

// Shows the dialog modally over owner (null at start-up). 1 when the user confirmed and
// the profile was saved, 0 when the user cancelled.
INT_PTR RunProfileDialog(HWND owner);

// The dialog's procedure: fills the fields from the profile, checks and saves on OK.
INT_PTR ProfileDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Takes the dialog's texts into the profile, then checks them in order: all six filled,
// both e-mail texts equal, a valid address (normalised in place). Shows the first failing
// check's message box and returns false.
bool CheckProfileInput(HWND dialog);
