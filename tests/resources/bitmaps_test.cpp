// The bitmaps and the icon the client loads: every id of both sets at its size and depth,
// pictures that differ where the state differs, buttons that sit seamlessly in the panel's
// wells, the low-colour set within its sixteen colours, and an icon with both of its sizes.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "bitmap_bytes.h"
#include "resources/client_resources.h"
#include "resources/resource_ids.h"

namespace {

using resources_test::BitmapCase;
using resources_test::Bmp8;
using resources_test::kBitmaps;
using resources_test::ResourceBytes;

class Bitmaps : public ::testing::Test {
 protected:
  void SetUp() override { RegisterClientResources(); }
};

void ExpectLoadsAt(int id, resources_test::Size size) {
  SCOPED_TRACE(testing::Message() << "bitmap " << id);
  const HBITMAP bitmap = LoadBitmapW(nullptr, MAKEINTRESOURCEW(id));
  ASSERT_NE(bitmap, nullptr);
  BITMAP info{};
  ASSERT_EQ(GetObjectW(bitmap, sizeof info, &info), static_cast<int>(sizeof info));
  EXPECT_EQ(info.bmWidth, size.width);
  EXPECT_EQ(info.bmHeight, size.height);
  EXPECT_EQ(info.bmBitsPixel, 8);
  DeleteObject(bitmap);
}

TEST_F(Bitmaps, EveryBitmapOfBothSetsLoadsAtItsSizeWithEightBitsPerPixel) {
  for (const BitmapCase& c : kBitmaps) {
    ExpectLoadsAt(c.id, c.normal);
    if (c.low_color.width != 0) ExpectLoadsAt(c.id + IDB_LOW_COLOR_OFFSET, c.low_color);
  }
  // Low-colour screens are painted white: a tile there would only be a stale picture.
  SetLastError(0);
  EXPECT_EQ(LoadBitmapW(nullptr, MAKEINTRESOURCEW(IDB_BACKGROUND_TILE + IDB_LOW_COLOR_OFFSET)),
            nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST_F(Bitmaps, NoTwoBitmapsShowTheSamePicture) {
  // A pressed or disabled state that shows the normal picture gives the user no feedback.
  std::map<std::string, int> seen;
  for (const BitmapCase& c : kBitmaps) {
    for (int id : {c.id, c.id + IDB_LOW_COLOR_OFFSET}) {
      const std::string_view bytes = ResourceBytes(id, RT_BITMAP);
      if (bytes.empty()) continue;
      const auto [where, fresh] = seen.emplace(std::string(bytes), id);
      EXPECT_TRUE(fresh) << "bitmap " << id << " repeats bitmap " << where->second;
    }
  }
}

TEST_F(Bitmaps, PanelButtonsMeetTheirWellsWithoutASeam) {
  // The square corners of a round button show what lies beneath it on the panel.
  const struct {
    int x;
    std::vector<int> ids;
  } buttons[] = {
      {16, {IDB_RECORD_NORMAL, IDB_RECORD_PRESSED, IDB_RECORD_DISABLED}},
      {65, {IDB_STOP_NORMAL, IDB_STOP_PRESSED}},
      {114, {IDB_PLAY_NORMAL, IDB_PLAY_PRESSED, IDB_PLAY_DISABLED}},
      {164, {IDB_SEND_NORMAL, IDB_SEND_PRESSED, IDB_SEND_DISABLED}},
  };
  constexpr int kButtonY = 5;
  for (int offset : {0, IDB_LOW_COLOR_OFFSET}) {
    const Bmp8 panel(ResourceBytes(IDB_BUTTON_PANEL + offset, RT_BITMAP));
    ASSERT_TRUE(panel.Valid());
    for (const auto& button : buttons) {
      for (int id : button.ids) {
        const Bmp8 picture(ResourceBytes(id + offset, RT_BITMAP));
        ASSERT_TRUE(picture.Valid()) << id + offset;
        // Outside the button's round face, every pixel is the panel's own.
        int differing = 0;
        for (int y = 0; y < 43; ++y) {
          for (int x = 0; x < 43; ++x) {
            const double dx = x + 0.5 - 21.5;
            const double dy = y + 0.5 - 21.5;
            if (dx * dx + dy * dy < 22.0 * 22.0) continue;
            if (picture.Rgb(x, y) != panel.Rgb(button.x + x, kButtonY + y)) ++differing;
          }
        }
        EXPECT_EQ(differing, 0) << "bitmap " << id + offset;
      }
    }
  }
}

TEST_F(Bitmaps, LowColourSetKeepsToSixteenColours) {
  std::set<std::uint32_t> colors;
  for (const BitmapCase& c : kBitmaps) {
    if (c.low_color.width == 0) continue;
    const Bmp8 picture(ResourceBytes(c.id + IDB_LOW_COLOR_OFFSET, RT_BITMAP));
    ASSERT_TRUE(picture.Valid()) << c.id + IDB_LOW_COLOR_OFFSET;
    const std::set<std::uint32_t> used = picture.ColorsUsed();
    colors.insert(used.begin(), used.end());
  }
  EXPECT_LE(colors.size(), 16U);
}

TEST_F(Bitmaps, IconCarriesALargeAndASmallImageIn256Colours) {
  const HICON loaded = LoadIconW(nullptr, MAKEINTRESOURCEW(IDI_APP));
  ASSERT_NE(loaded, nullptr);
  DestroyIcon(loaded);
  const std::string_view icon = ResourceBytes(IDI_APP, RT_ICON);
  ASSERT_GE(icon.size(), 6U + 2 * 16U);
  auto read16 = [&](std::size_t at) {
    return resources_test::ReadLittleEndian<std::uint16_t>(icon, at);
  };
  EXPECT_EQ(read16(2), 1);  // an icon, not a cursor
  ASSERT_EQ(read16(4), 2);
  std::set<int> sizes;
  for (std::size_t entry = 6; entry < 6 + 2 * 16; entry += 16) {
    const int width = static_cast<std::uint8_t>(icon[entry]);
    EXPECT_EQ(width, static_cast<std::uint8_t>(icon[entry + 1])) << "square";
    EXPECT_EQ(read16(entry + 6), 8) << "bits per pixel";
    sizes.insert(width);
  }
  EXPECT_EQ(sizes, (std::set<int>{16, 32}));
}

}  // namespace
