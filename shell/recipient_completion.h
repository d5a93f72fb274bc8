// Type-ahead completion of the word at the caret in the recipient box, from its list.
#pragma once

#include <windows.h>

// Handles the notification code of every WM_COMMAND of the main window: a list selection
// or a lost focus forgets the remembered selection; an edit change of the recipient box
// runs one completion step.
void CompleteRecipient(HWND window, HWND control, int notificationCode);
