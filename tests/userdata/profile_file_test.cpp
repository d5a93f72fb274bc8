#include <signal.h>
#include <sys/resource.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "userdata_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "state/app_state.h"
#include "userdata/profile.h"

namespace {

using namespace userdata_test;

class ProfileFileTest : public ::testing::Test {
 protected:
  void SetUp() override { SetInMemory({}); }
  DeviceFolder device_;
};

// A value longer than its field is cut; a missing key leaves its field empty.
TEST_F(ProfileFileTest, ReadingCutsOverlongValuesAndLeavesMissingKeysEmpty) {
  device_.WriteText(PROFILE_FILE,
                    u"email=e@f.g\r\nname=N\r\nsex=Mr.andmuchmore\r\ncity=C\r\nstate=S\r\n");
  EXPECT_EQ(ReadProfileFile(), PROFILE_FILE_READ);
  EXPECT_EQ(InMemory(), (Profile{u"e@f.g", u"N", u"Mr.andmuc", u"C", u"S", u""}));
  EXPECT_FALSE(IsProfileComplete());
}

TEST_F(ProfileFileTest, MissingAndUnreadableFilesAreToldApartAndChangeNothing) {
  const Profile before{u"keep@me.too", u"K", u"Mr.", u"C", u"S", u"Chad"};
  SetInMemory(before);
  EXPECT_EQ(ReadProfileFile(), PROFILE_FILE_MISSING);
  EXPECT_EQ(InMemory(), before);

  // Another holder of the file without sharing: the profile cannot be read.
  device_.WriteText(PROFILE_FILE, u"email=other@x.y\r\n");
  const HANDLE holder = CreateFileW(u"\\Windows\\CEVireoRec.pfi", GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadProfileFile(), PROFILE_FILE_UNREADABLE);
  // Saving fails the same way and leaves the held file as it was.
  EXPECT_FALSE(SaveProfile());
  CloseHandle(holder);
  EXPECT_FALSE(device_.Exists(std::string(PROFILE_FILE) + ".new"));
  EXPECT_EQ(device_.Read(PROFILE_FILE), Utf16Bytes(u"email=other@x.y\r\n"));
  EXPECT_EQ(InMemory(), before);

  // A folder where the file should be is not a missing file either.
  std::filesystem::remove(device_.HostPath(PROFILE_FILE));
  std::filesystem::create_directory(device_.HostPath(PROFILE_FILE));
  EXPECT_EQ(ReadProfileFile(), PROFILE_FILE_UNREADABLE);
}

// The save runs in a child whose files cannot grow past 64 bytes, as on a full disk; the
// child says on stderr what a user would find afterwards.
TEST_F(ProfileFileTest, ASaveOntoAFullDiskKeepsTheOldFileWholeAndLeavesNoTemporary) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::u16string old_text = u"[VireoRec]\r\nemail=gus@example.de\r\nname=Gus\r\n";
  EXPECT_EXIT(
      {
        device_.WriteText(PROFILE_FILE, old_text);
        signal(SIGXFSZ, SIG_IGN);  // a refused write then fails instead of ending the process
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 64;
        setrlimit(RLIMIT_FSIZE, &limit);
        SetInMemory({u"someone.with.a.long.address@example.org", u"Someone With A Long Name",
                     u"Ms.", u"Somewhere", u"Somewhere", u"Somewhere"});
        const bool saved = SaveProfile();
        std::fprintf(stderr, "saved=%d old=%s temporary=%s;\n", saved ? 1 : 0,
                     device_.Read(PROFILE_FILE) == Utf16Bytes(old_text) ? "kept" : "lost",
                     device_.Exists(std::string(PROFILE_FILE) + ".new") ? "left" : "gone");
        std::error_code ignored;  // the child's own device folder: _Exit skips its removal
        std::filesystem::remove_all(std::getenv("MURMELPOST_DEVICE_ROOT"), ignored);
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "saved=0 old=kept temporary=gone;");
}

}  // namespace
