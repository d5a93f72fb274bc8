// The profile dialog (dialog resource 107): entering and checking the sender's profile.
#pragma once

#include <windows.h>

// Shows the dialog modally over owner (null at start-up). 1 when the user confirmed and
// the profile was saved, 0 when the user cancelled.
INT_PTR RunProfileDialog(HWND owner);
