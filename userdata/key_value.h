// Key lookup in the text of the profile and address book files ("key=value\r\n" lines).
#pragma once

#include <windows.h>

#include <cstddef>
#include <string_view>
#include <vector>

// Longest value a data file may give; ReadKeyValue cuts longer values.
constexpr std::size_t KEY_VALUE_MAX_LENGTH = 259;

// Finds the first occurrence of key (including its "=") anywhere in text, case-sensitive,
// and stores what follows it up to the first carriage return (or the end) in destination,
// cut to fit. Returns 1, or 0 with destination untouched when the key does not occur.
int ReadKeyValue(const WCHAR* text, const WCHAR* key, WCHAR* destination, std::size_t capacity);

template <std::size_t N>
int ReadKeyValue(const WCHAR* text, const WCHAR* key, Text<N>& destination) {
  return ReadKeyValue(text, key, destination.data(), N);
}

template <std::size_t N>
int ReadKeyValue(const WCHAR* text, const WCHAR* key, WCHAR (&destination)[N]) {
  return ReadKeyValue(text, key, destination, N);
}

// A value of a numbered key ("address7=" is number 7 of "address"); at most
// KEY_VALUE_MAX_LENGTH + 1 units, so that a longer value shows as too long.
struct NumberedValue {
  long long number;
  std::u16string_view value;
};

// Every numbered key "<prefix><decimal without leading zeros>=" of text, found in one pass,
// by ascending number; for each number the first occurrence, as ReadKeyValue finds it.
std::vector<NumberedValue> ReadNumberedValues(std::u16string_view text, std::u16string_view prefix);
