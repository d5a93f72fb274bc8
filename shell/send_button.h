// The Send button: checks the form, remembers the recipients and hands the message to the
// send thread.
#pragma once

#include <windows.h>

// Returns true when the send thread was started.
bool PressSend(HWND window);
