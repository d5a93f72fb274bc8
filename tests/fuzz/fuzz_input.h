// Turns fuzzer bytes into UTF-16 text as the device file reader sees them: every two bytes
// one unit, little-endian, and an odd last byte a unit of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline std::u16string UnitsFrom(const std::uint8_t* data, std::size_t size) {
  std::u16string text;
  for (std::size_t i = 0; i < size; i += 2) {
    const unsigned high = i + 1 < size ? data[i + 1] : 0u;
    text.push_back(static_cast<char16_t>(data[i] | (high << 8)));
  }
  // Embedded NULs would end the text early; keep what a file reader would see.
  return text.substr(0, text.find(u'\0'));
}
