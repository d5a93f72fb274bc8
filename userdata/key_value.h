// Key lookup in the text of the profile and address book files ("key=value\r\n" lines).
#pragma once

#include <windows.h>

#include <cstddef>

// Longest value a data file may give; longer values are cut.
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
