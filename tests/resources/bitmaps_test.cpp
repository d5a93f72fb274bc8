// The bitmaps and the icon the client loads: every id of both sets at its size and depth,
// pictures that differ where the state differs, buttons that sit seamlessly in the panel's
// wells, the low-colour set within its sixteen colours, and an icon with both of its sizes.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "resources/client_resources.h"
#include "resources/resource_ids.h"

namespace {

struct Size {
  int width;
  int height;
};

constexpr Size kRound{43, 43};
constexpr Size kSmall{25, 25};

// The window layout places the panel's buttons and labels by these sizes; a low-colour
// width of 0 where that set has no twin.
const struct {
  int id;
  Size normal;
  Size low_color;
} kBitmaps[] = {
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
std::string_view ResourceBytes(int id, int type) {
  RegisterClientResources();  // repeating it is harmless
  const HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type));
  if (found == nullptr) return {};
  return {static_cast<const char*>(LockResource(LoadResource(nullptr, found))),
          SizeofResource(nullptr, found)};
}

std::uint32_t Read(std::string_view bytes, std::size_t at, std::size_t size = 4) {
  std::uint32_t value = 0;
  std::memcpy(&value, bytes.data() + at, size);  // little-endian host, as the files
  return value;
}

// 0xRRGGBB of the pixel at (x, y), y from the top, of an 8-bit bottom-up BMP with a
// BITMAPINFOHEADER, as the generator writes them.
std::uint32_t Rgb(std::string_view bmp, int x, int y) {
  const auto width = Read(bmp, 18);
  const auto row = Read(bmp, 22) - 1 - static_cast<std::uint32_t>(y);
  const auto index = Read(bmp, Read(bmp, 10) + row * ((width + 3) & ~3U) + x, 1);
  return Read(bmp, 14 + Read(bmp, 14) + index * 4, 3);
}

bool IsBmp8(std::string_view bytes) {
  return bytes.size() > 54 && bytes.starts_with("BM") && Read(bytes, 28, 2) == 8;
}

TEST(Bitmaps, EveryBitmapOfBothSetsLoadsAtItsSizeAsAPictureOfItsOwn) {
  RegisterClientResources();
  // A pressed or disabled state that shows the normal picture gives the user no feedback.
  std::map<std::string, int> seen;
  std::set<std::uint32_t> lowColours;
  for (const auto& c : kBitmaps) {
    for (const auto& [id, size] :
         {std::pair{c.id, c.normal}, std::pair{c.id + IDB_LOW_COLOR_OFFSET, c.low_color}}) {
      SCOPED_TRACE(testing::Message() << "bitmap " << id);
      const HBITMAP bitmap = LoadBitmapW(nullptr, MAKEINTRESOURCEW(id));
      // Low-colour screens are painted white: a tile there would only be a stale picture.
      if (size.width == 0) {
        EXPECT_EQ(bitmap, nullptr);
        continue;
      }
      ASSERT_NE(bitmap, nullptr);
      BITMAP info{};
      ASSERT_EQ(GetObjectW(bitmap, sizeof info, &info), static_cast<int>(sizeof info));
      EXPECT_EQ(info.bmWidth, size.width);
      EXPECT_EQ(info.bmHeight, size.height);
      EXPECT_EQ(info.bmBitsPixel, 8);
      DeleteObject(bitmap);
      const std::string_view bytes = ResourceBytes(id, RT_BITMAP);
      const auto [where, fresh] = seen.emplace(std::string(bytes), id);
      EXPECT_TRUE(fresh) << "repeats bitmap " << where->second;
      if (id == c.id) continue;
      ASSERT_TRUE(IsBmp8(bytes));
      for (int y = 0; y < size.height; ++y) {
        for (int x = 0; x < size.width; ++x) lowColours.insert(Rgb(bytes, x, y));
      }
    }
  }
  EXPECT_LE(lowColours.size(), 16U) << "colours in the low-colour set";
}

TEST(Bitmaps, PanelButtonsMeetTheirWellsWithoutASeam) {
  // The square corners of a round button show what lies beneath it on the panel.
  const struct {
    int x;  // and all at y = 5
    std::vector<int> ids;
  } buttons[] = {
      {16, {IDB_RECORD_NORMAL, IDB_RECORD_PRESSED, IDB_RECORD_DISABLED}},
      {65, {IDB_STOP_NORMAL, IDB_STOP_PRESSED}},
      {114, {IDB_PLAY_NORMAL, IDB_PLAY_PRESSED, IDB_PLAY_DISABLED}},
      {164, {IDB_SEND_NORMAL, IDB_SEND_PRESSED, IDB_SEND_DISABLED}},
  };
  for (int offset : {0, IDB_LOW_COLOR_OFFSET}) {
    const std::string_view panel = ResourceBytes(IDB_BUTTON_PANEL + offset, RT_BITMAP);
    ASSERT_TRUE(IsBmp8(panel));
    for (const auto& button : buttons) {
      for (int id : button.ids) {
        const std::string_view picture = ResourceBytes(id + offset, RT_BITMAP);
        ASSERT_TRUE(IsBmp8(picture)) << id + offset;
        // Outside the button's round face, every pixel is the panel's own.
        int differing = 0;
        for (int y = 0; y < 43; ++y) {
          for (int x = 0; x < 43; ++x) {
            if (std::hypot(x - 21, y - 21) < 22.0) continue;
            if (Rgb(picture, x, y) != Rgb(panel, button.x + x, 5 + y)) ++differing;
          }
        }
        EXPECT_EQ(differing, 0) << "bitmap " << id + offset;
      }
    }
  }
}

TEST(Bitmaps, IconCarriesALargeAndASmallImageIn256Colours) {
  // An icon directory (not a cursor's) of two square 8-bit images, 16 and 32 pixels wide.
  const std::string_view icon = ResourceBytes(IDI_APP, RT_ICON);
  ASSERT_GE(icon.size(), 6U + 2 * 16U);
  EXPECT_EQ(icon.substr(0, 6), std::string_view("\0\0\1\0\2\0", 6));
  std::set<std::uint32_t> sizes;
  for (std::size_t entry = 6; entry < 6 + 2 * 16; entry += 16) {
    EXPECT_EQ(Read(icon, entry, 1), Read(icon, entry + 1, 1));
    EXPECT_EQ(Read(icon, entry + 6, 2), 8U);
    sizes.insert(Read(icon, entry, 1));
  }
  EXPECT_EQ(sizes, (std::set<std::uint32_t>{16, 32}));
}

}  // namespace
