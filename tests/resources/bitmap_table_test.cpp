// The bitmaps and the icon as the client loads them: every id of both sets at its size and
// depth.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "bitmap_cases.h"
#include "resources/client_resources.h"
#include "resources/resource_ids.h"

namespace {

using resources_test::BitmapCase;
using resources_test::kBitmaps;
using resources_test::ResourceName;
using resources_test::Size;

class BitmapTable : public ::testing::Test {
 protected:
  void SetUp() override { RegisterClientResources(); }
};

void ExpectLoadsAt(int id, Size size) {
  SCOPED_TRACE(testing::Message() << "bitmap " << id);
  const HBITMAP bitmap = LoadBitmapW(nullptr, ResourceName(id));
  ASSERT_NE(bitmap, nullptr);
  BITMAP info{};
  ASSERT_EQ(GetObjectW(bitmap, sizeof info, &info), static_cast<int>(sizeof info));
  EXPECT_EQ(info.bmWidth, size.width);
  EXPECT_EQ(info.bmHeight, size.height);
  EXPECT_EQ(info.bmBitsPixel, 8);
  DeleteObject(bitmap);
}

TEST_F(BitmapTable, EveryBitmapOfBothSetsLoadsAtItsSizeWithEightBitsPerPixel) {
  for (const BitmapCase& c : kBitmaps) {
    ExpectLoadsAt(c.id, c.normal);
    if (c.low_color.width != 0) ExpectLoadsAt(c.id + IDB_LOW_COLOR_OFFSET, c.low_color);
  }
}

TEST_F(BitmapTable, BackgroundTileHasNoLowColourTwin) {
  // Low-colour screens are painted white: a tile there would only be a stale picture.
  SetLastError(0);
  EXPECT_EQ(LoadBitmapW(nullptr, ResourceName(IDB_BACKGROUND_TILE + IDB_LOW_COLOR_OFFSET)),
            nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST_F(BitmapTable, IconLoadsUnderItsId) {
  const HICON icon = LoadIconW(nullptr, ResourceName(IDI_APP));
  ASSERT_NE(icon, nullptr);
  DestroyIcon(icon);
}

}  // namespace
