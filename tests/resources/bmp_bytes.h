// Reads the pictures the client carries straight from their resource bytes: the colour
// of a pixel of an 8-bit BMP, the colours it uses, and the images an icon file lists.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string_view>

#include "bitmap_cases.h"

namespace resources_test {

// The bytes of a compiled-in resource; they live as long as the program.
inline std::string_view ResourceBytes(int id, int type) {
  const HRSRC found = FindResourceW(nullptr, ResourceName(id), ResourceName(type));
  if (found == nullptr) return {};
  return {static_cast<const char*>(LockResource(LoadResource(nullptr, found))),
          SizeofResource(nullptr, found)};
}

inline std::uint32_t Read32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  std::memcpy(&value, bytes.data() + at, sizeof value);  // little-endian host, as the files
  return value;
}

inline std::uint16_t Read16(std::string_view bytes, std::size_t at) {
  std::uint16_t value = 0;
  std::memcpy(&value, bytes.data() + at, sizeof value);
  return value;
}

// An 8-bit bottom-up BMP with a BITMAPINFOHEADER, as the generator writes them.
class Bmp8 {
 public:
  explicit Bmp8(std::string_view bytes) : bytes_(bytes) {}

  bool Valid() const {
    return bytes_.size() > 54 && bytes_.substr(0, 2) == "BM" && Read16(bytes_, 28) == 8;
  }
  int Width() const { return static_cast<int>(Read32(bytes_, 18)); }
  int Height() const { return static_cast<int>(Read32(bytes_, 22)); }

  // 0xRRGGBB of the pixel at (x, y), y counted from the top.
  std::uint32_t Rgb(int x, int y) const { return PaletteRgb(Index(x, y)); }

  std::set<std::uint32_t> ColorsUsed() const {
    std::set<std::uint32_t> colors;
    for (int y = 0; y < Height(); ++y) {
      for (int x = 0; x < Width(); ++x) colors.insert(Rgb(x, y));
    }
    return colors;
  }

 private:
  int Index(int x, int y) const {
    const std::size_t stride = (static_cast<std::size_t>(Width()) + 3) & ~std::size_t{3};
    const std::size_t row = static_cast<std::size_t>(Height() - 1 - y);
    return Byte(Read32(bytes_, 10) + row * stride + static_cast<std::size_t>(x));
  }
  std::uint32_t PaletteRgb(int index) const {
    const std::size_t at = 14 + Read32(bytes_, 14) + static_cast<std::size_t>(index) * 4;
    return static_cast<std::uint32_t>(Byte(at + 2) << 16 | Byte(at + 1) << 8 | Byte(at));
  }
  int Byte(std::size_t at) const { return static_cast<std::uint8_t>(bytes_[at]); }

  std::string_view bytes_;
};

}  // namespace resources_test
