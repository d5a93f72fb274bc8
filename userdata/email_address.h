// The e-mail check and normaliser of recipient texts, profile addresses and address book
// entries.
#pragma once

#include <windows.h>

#include <cstddef>

// Longest recipient text, as the recipient field holds it; longer texts are refused.
constexpr std::size_t EMAIL_TEXT_MAX_LENGTH = 1023;

// Checks that text has at least 3 characters and a first "@" neither first nor last, then
// turns blanks and semicolons into commas, merges runs of commas and trims one from each
// end. allowList 0 refuses a text that is still a list. Returns 1 with text replaced by
// its normalised form, or 0 with text unchanged.
int ValidateEmail(WCHAR* text, int allowList);
