// The client sends its multi-byte numbers most significant byte first: the frame length,
// the locale record and the voice image's header.
#pragma once

#include <cstdint>

namespace murmel::server {

constexpr std::uint16_t BigEndian16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

constexpr std::uint32_t BigEndian32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         p[3];
}

}  // namespace murmel::server
