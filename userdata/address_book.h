// The address book: the entries of the recipient box's drop-down list (control 60000),
// kept in the file "\Windows\CEVireoRec.arr".
#pragma once

#include <windows.h>

#include <cstddef>

// Longest address book entry; longer pieces are refused rather than cut into a wrong address.
constexpr std::size_t ADDRESS_ENTRY_MAX_LENGTH = 255;

// Drops every blank from text, splits it at commas and appends each piece that the list
// does not hold yet in any letter case.
void AddRecipients(HWND recipientBox, const WCHAR* text);

// Adds every valid "address<i>=" entry of the file below its count to the list. False when
// the file cannot be opened, sized or read; the list is then unchanged.
bool LoadAddressBook(HWND recipientBox);

// Rewrites the file from the list, in list order. Failures are silent; always true.
bool SaveAddressBook(HWND recipientBox);
