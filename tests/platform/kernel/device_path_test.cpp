// Where device paths land on the host.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "platform/kernel/device_path.h"
#include "support/kernel_test_files.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace {

using murmel::kernel::DeviceRootFolder;
using murmel::kernel::DocumentsFolder;
using murmel::kernel::HostPathFor;
using murmel::test::ScopedEnv;

class DevicePathTest : public ::testing::Test {
 protected:
  murmel::test::TempDir dir_;
  const std::string home_ = dir_ / "home";
  const std::string root_ = dir_ / "device";
  ScopedEnv home_env_{"HOME", home_};
  ScopedEnv root_env_{"MURMELPOST_DEVICE_ROOT", root_ + "/"};
};

TEST_F(DevicePathTest, DevicePathsMapUnderTheRootAndTheDocumentsFolder) {
  const struct {
    std::u16string device;
    std::string host;
  } cases[] = {
      {u"\\Windows\\CEVireoRec.pfi", root_ + "/Windows/CEVireoRec.pfi"},
      {u"\\WINDOWS\\CEVireoRec.arr", root_ + "/Windows/CEVireoRec.arr"},
      {u"\\Windowsfoo\\x", root_ + "/Windowsfoo/x"},
      {u"\\My Documents\\", home_ + "/Documents/"},
      {u"\\my documents\\Pictures\\cat.jpg", home_ + "/Documents/Pictures/cat.jpg"},
      {u"\\Temp\\a b.txt", root_ + "/Temp/a b.txt"},
      {u"notes.txt", root_ + "/notes.txt"},
      {u"/srv/pictures/cat.jpg", "/srv/pictures/cat.jpg"},
      {u"\\My Documents\\caf\u00e9 \U0001F600.txt",
       home_ + "/Documents/caf\xc3\xa9 \xf0\x9f\x98\x80.txt"},
      {std::u16string(u"\\Temp\\a") + char16_t(0xD800), root_ + "/Temp/a\xef\xbf\xbd"},
  };
  for (const auto& c : cases) EXPECT_EQ(HostPathFor(c.device), c.host);
}

TEST_F(DevicePathTest, FoldersAreCreatedOnFirstUse) {
  HANDLE file = CreateFileW(u"\\Windows\\CEVireoRec.pfi", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  EXPECT_TRUE(std::filesystem::is_regular_file(root_ + "/Windows/CEVireoRec.pfi"));
  EXPECT_EQ(DocumentsFolder(), home_ + "/Documents");
  EXPECT_TRUE(std::filesystem::is_directory(home_ + "/Documents"));
}

TEST_F(DevicePathTest, DocumentsFallBackToHomeWhenTheFolderCannotBeMade) {
  std::filesystem::create_directories(home_);
  ASSERT_TRUE(murmel::test::WriteHostFile(home_ + "/Documents", "a file in the way"));
  EXPECT_EQ(HostPathFor(u"\\My Documents\\x.jpg"), home_ + "/x.jpg");
}

TEST_F(DevicePathTest, DefaultRootFollowsTheXdgDataFolder) {
  ScopedEnv no_root("MURMELPOST_DEVICE_ROOT", nullptr);
  const std::string fallback = home_ + "/.local/share/murmelpost/device";
  const struct {
    const char* data_home;
    std::string root;
  } cases[] = {{"/var/data/", "/var/data/murmelpost/device"},
               {"relative/data", fallback},  // the XDG rules ignore a relative one
               {nullptr, fallback}};
  for (const auto& c : cases) {
    ScopedEnv data_home("XDG_DATA_HOME", c.data_home);
    EXPECT_EQ(DeviceRootFolder(), c.root);
  }
}

}  // namespace
