// The cartoons a voice message carries when its sender has no confirmed picture of their
// own, drawn at build time by server/cartoons/draw_cartoons.py.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace murmel::server {

struct CartoonFile {
  std::string_view name;   // "cat.png"
  std::string_view bytes;  // the PNG file
};

// Generated at build time: every cartoon, in a fixed order.
std::span<const CartoonFile> CartoonFiles();

struct Picture {
  std::string mimeType;  // "image/png"
  std::string fileName;
  std::vector<std::uint8_t> bytes;
};

// One cartoon picked at random; safe to call from any thread.
Picture RandomCartoon();

}  // namespace murmel::server
