// The two data files under damage: cut off mid-unit, and saved onto a full disk.
#include <signal.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <windows.h>
#include "userdata_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "state/app_state.h"
#include "userdata/address_book.h"
#include "userdata/profile.h"

namespace {

using namespace userdata_test;

const std::u16string kProfile =
    u"[VireoRec]\r\nemail=gus@example.de\r\nname=Gus\r\nsex=Mr.\r\ncity=Bonn\r\nstate=NRW\r\n"
    u"country=Germany\r\n";
const std::u16string kBook = u"[Address]\r\ncount=2\r\naddress0=a@b.c\r\naddress1=d@e.f\r\n";

class DamagedFileTest : public RecipientBoxTest {
 protected:
  void SetUp() override {
    RecipientBoxTest::SetUp();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    SetInMemory({});
  }
  void TearDown() override {
    SetInMemory({});
    RecipientBoxTest::TearDown();
  }
};

// A file cut off mid-write, with an odd number of bytes: its last unit is half there. Under
// ASan, a buffer whose NUL straddles the end is an overflow.
TEST_F(DamagedFileTest, FilesCutInsideAUnitLoadWhatTheyHoldAndNothingElse) {
  // Without the last three bytes the final CR keeps only its low byte, which is still a CR.
  std::string cut = Utf16Bytes(kProfile);
  cut.resize(cut.size() - 3);
  device_.Write(PROFILE_FILE, cut);
  ASSERT_EQ(ReadProfileFile(), PROFILE_FILE_READ);
  EXPECT_EQ(std::u16string(appState.country.data()), u"Germany");
  EXPECT_TRUE(IsProfileComplete());

  // One stray byte past a whole book: a unit of its own after the last line.
  device_.Write(BOOK_FILE, Utf16Bytes(kBook) + "x");
  ASSERT_TRUE(LoadAddressBook(box_));
  EXPECT_EQ(ListEntries(), (Entries{u"a@b.c", u"d@e.f"}));

  // Cut inside the last address: the half unit is a character of it, nothing from beyond.
  std::string book = Utf16Bytes(u"count=1\r\naddress0=zed@z.org");
  book.pop_back();
  device_.Write(BOOK_FILE, book);
  SetEntries({});
  ASSERT_TRUE(LoadAddressBook(box_));
  EXPECT_EQ(ListEntries(), Entries{u"zed@z.org"});
}

struct FullDiskCase {
  const char* name;
  const char* file;
  std::u16string old_text;
  std::function<bool(HWND)> save;
};

// Each save runs in a child whose files cannot grow past 64 bytes, as on a full disk. The
// child says on stderr what a user would find afterwards.
TEST_F(DamagedFileTest, ASaveOntoAFullDiskKeepsTheOldFileWholeAndLeavesNoTemporary) {
  const FullDiskCase cases[] = {
      {"profile", PROFILE_FILE, kProfile,
       [](HWND) {
         SetInMemory({u"someone.with.a.long.address@example.org",
                      u"Someone With A Rather Long Name", u"Ms.", u"Somewhere", u"Somewhere",
                      u"Somewhere"});
         return SaveProfile();
       }},
      {"address book", BOOK_FILE, kBook,
       [](HWND box) {
         SendMessageW(box, CB_ADDSTRING, 0,
                      reinterpret_cast<LPARAM>(u"someone.with.a.long.address@example.org"));
         SaveAddressBook(box);
         return false;  // saving the book is silent whatever happens
       }},
  };
  for (const FullDiskCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EXIT(
        {
          device_.WriteText(c.file, c.old_text);
          signal(SIGXFSZ, SIG_IGN);  // a refused write then fails instead of ending the process
          rlimit limit{};
          getrlimit(RLIMIT_FSIZE, &limit);
          limit.rlim_cur = 64;
          setrlimit(RLIMIT_FSIZE, &limit);
          const bool saved = c.save(box_);
          const bool kept = device_.Read(c.file) == Utf16Bytes(c.old_text);
          const bool left = device_.Exists(std::string(c.file) + ".new");
          std::fprintf(stderr, "saved=%d old=%s temporary=%s;\n", saved ? 1 : 0,
                       kept ? "kept" : "lost", left ? "left" : "gone");
          std::error_code ignored;
          std::filesystem::remove_all(std::getenv("MURMELPOST_DEVICE_ROOT"), ignored);
          std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "saved=0 old=kept temporary=gone;");
  }
}

}  // namespace
