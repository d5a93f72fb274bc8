// The cartoons drawn at build time: enough of them, each a small PNG that a reader decodes
// to a picture, no two alike. Which messages carry one: picture_confirmation_test.cpp.
#include "server/cartoons.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "scripted_client.h"
#include "support/temp_dir.h"

namespace murmel::server {
namespace {

TEST(Cartoons, AtLeastTwelveDistinctSmallPngsThatDecode) {
  const murmel::test::TempDir folder;
  const auto files = CartoonFiles();
  ASSERT_GE(files.size(), 12u);
  std::set<std::string_view> distinct;
  std::string paths;
  for (const CartoonFile& file : files) {
    EXPECT_LT(file.bytes.size(), 20u * 1024) << file.name;
    EXPECT_EQ(file.bytes.substr(0, 8), "\x89PNG\r\n\x1a\n") << file.name;
    distinct.insert(file.bytes);
    const std::string path = folder / std::string(file.name);
    std::ofstream(path, std::ios::binary) << file.bytes;
    paths += " '" + path + "'";
  }
  EXPECT_EQ(distinct.size(), files.size());
  EXPECT_EQ(RandomCartoon().mimeType, "image/png");

  // Every chunk's CRC right, the pixels inflate to the size the header gives, and each
  // picture has more than a few colours.
  const auto decoded = server_test::RunCommand(
      "python3 '" + server_test::TestScript("png_colours.py").string() + "'" + paths);
  ASSERT_EQ(decoded.status, 0) << decoded.output;
  EXPECT_GE(std::stoi(decoded.output), 8) << decoded.output;
}

}  // namespace
}  // namespace murmel::server
