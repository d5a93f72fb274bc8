// Every bitmap of the client with its size in both sets, and a reader for the pictures
// inside the compiled-in files: the colour of a pixel of an 8-bit BMP and the colours it uses.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string_view>
#include <vector>

#include "resources/resource_ids.h"

namespace resources_test {

struct Size {
  int width;
  int height;
};

struct BitmapCase {
  int id;
  Size normal;
  Size low_color;  // of id + IDB_LOW_COLOR_OFFSET; width 0 where the set has no twin
};

inline constexpr Size kRound{43, 43};
inline constexpr Size kSmall{25, 25};

// The window layout places the panel's buttons and labels by these sizes.
inline const std::vector<BitmapCase> kBitmaps = {
    {IDB_BACKGROUND_TILE, {23, 23}, {0, 0}},  {IDB_LOGO, {73, 25}, {73, 25}},
    {IDB_BUTTON_PANEL, {227, 75}, {226, 74}}, {IDB_RECORD_NORMAL, kRound, kRound},
    {IDB_RECORD_PRESSED, kRound, kRound},     {IDB_RECORD_DISABLED, kRound, kRound},
    {IDB_STOP_NORMAL, kRound, kRound},        {IDB_STOP_PRESSED, kRound, kRound},
    {IDB_PLAY_NORMAL, kRound, kRound},        {IDB_PLAY_PRESSED, kRound, kRound},
    {IDB_PLAY_DISABLED, kRound, kRound},      {IDB_SEND_NORMAL, kRound, kRound},
    {IDB_SEND_PRESSED, kRound, kRound},       {IDB_SEND_DISABLED, kRound, kRound},
    {IDB_OPTION_NORMAL, kSmall, kSmall},      {IDB_OPTION_PRESSED, kSmall, kSmall},
    {IDB_HELP_NORMAL, kSmall, kSmall},        {IDB_HELP_PRESSED, kSmall, kSmall},
    {IDB_FIELD_LABELS, {56, 33}, {55, 32}},
};

// The bytes of a compiled-in resource; they live as long as the program.
inline std::string_view ResourceBytes(int id, int type) {
  const HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type));
  if (found == nullptr) return {};
  return {static_cast<const char*>(LockResource(LoadResource(nullptr, found))),
          SizeofResource(nullptr, found)};
}

template <typename T>
T ReadLittleEndian(std::string_view bytes, std::size_t at) {
  T value = 0;
  std::memcpy(&value, bytes.data() + at, sizeof value);  // little-endian host, as the files
  return value;
}

// An 8-bit bottom-up BMP with a BITMAPINFOHEADER, as the generator writes them.
class Bmp8 {
 public:
  explicit Bmp8(std::string_view bytes) : bytes_(bytes) {}

  bool Valid() const {
    return bytes_.size() > 54 && bytes_.substr(0, 2) == "BM" && Read16(28) == 8;
  }
  int Width() const { return static_cast<int>(Read32(18)); }
  int Height() const { return static_cast<int>(Read32(22)); }

  // 0xRRGGBB of the pixel at (x, y), y counted from the top.
  std::uint32_t Rgb(int x, int y) const {
    const std::size_t stride = (static_cast<std::size_t>(Width()) + 3) & ~std::size_t{3};
    const std::size_t row = static_cast<std::size_t>(Height() - 1 - y);
    const int index = Byte(Read32(10) + row * stride + static_cast<std::size_t>(x));
    const std::size_t at = 14 + Read32(14) + static_cast<std::size_t>(index) * 4;
    return static_cast<std::uint32_t>(Byte(at + 2) << 16 | Byte(at + 1) << 8 | Byte(at));
  }

  std::set<std::uint32_t> ColorsUsed() const {
    std::set<std::uint32_t> colors;
    for (int y = 0; y < Height(); ++y) {
      for (int x = 0; x < Width(); ++x) colors.insert(Rgb(x, y));
    }
    return colors;
  }

 private:
  std::uint16_t Read16(std::size_t at) const { return ReadLittleEndian<std::uint16_t>(bytes_, at); }
  std::uint32_t Read32(std::size_t at) const { return ReadLittleEndian<std::uint32_t>(bytes_, at); }
  int Byte(std::size_t at) const { return static_cast<std::uint8_t>(bytes_[at]); }

  std::string_view bytes_;
};

}  // namespace resources_test
