// Turns fuzzer bytes into UTF-16 text: every two bytes one unit, little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline std::u16string UnitsFrom(const std::uint8_t* data, std::size_t size) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  // Embedded NULs would end the text early; keep what a file reader would see.
  return text.substr(0, text.find(u'\0'));
}
