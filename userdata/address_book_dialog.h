// The "Manage Address Book" dialog (dialog resource 108): a sorted working copy of the
// recipient box's list, replacing it on OK. The dialog itself writes no file.
#pragma once

#include <windows.h>

// Shows the dialog modally over owner (the main window, whose control 60000 is the
// recipient box). 1 after OK, 0 after Cancel.
INT_PTR RunAddressBookDialog(HWND owner);

// Sets the count label from the working list's number of entries.
void UpdateAddressCount(HWND dialog);

// Empties the recipient box (list and typed text), then adds the working list's entries in
// its order.
void CopyListToRecipients(HWND dialog);

// The dialog's procedure: Add, Del, the count label and the default button's switching.
INT_PTR AddressBookDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
