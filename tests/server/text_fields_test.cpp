// Envelope texts, code pages and file names as a client (or a hostile peer) sends them.
#include <gtest/gtest.h>

#include "server/address.h"
#include "server/code_page.h"
#include "server/delivery.h"

namespace murmel::server {
namespace {

TEST(TextFields, SenderNameAndAddressSurviveOddLayouts) {
  struct Case {
    const char* text;
    const char* name;
    const char* address;
  };
  const Case cases[] = {
      {"\"Ann Lee\" <ann@example.org>", "Ann Lee", "ann@example.org"},
      {"\"Ann \"the\" Lee\" <ann@example.org>", "Ann \"the\" Lee", "ann@example.org"},
      {"\"\" <ann@example.org>", "", "ann@example.org"},
      {"  \"A <b>\"   < ann@example.org >  ", "A <b>", "ann@example.org"},
      {"ann@example.org", "", "ann@example.org"},
      {"Ann Lee <ann@example.org>", "Ann Lee", "ann@example.org"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    const Mailbox mailbox = ParseSender(c.text);
    EXPECT_EQ(mailbox.name, c.name) << c.text;
    EXPECT_EQ(mailbox.address, c.address) << c.text;
  }
}

TEST(TextFields, RecipientListsSplitOnCommasAndSemicolons) {
  using List = std::vector<std::string>;
  EXPECT_EQ(SplitRecipients("a@b.c"), List{"a@b.c"});
  EXPECT_EQ(SplitRecipients("a@b.c,d@e.f"), (List{"a@b.c", "d@e.f"}));
  EXPECT_EQ(SplitRecipients(" a@b.c ; d@e.f ,, "), (List{"a@b.c", "d@e.f"}));
  EXPECT_EQ(SplitRecipients(""), List{});
  EXPECT_EQ(SplitRecipients(" , ;"), List{});
}

TEST(TextFields, FileNamesLoseTheirPathAndControlCharacters) {
  struct Case {
    const char* name;
    const char* safe;
  };
  const Case cases[] = {
      {"report.pdf", "report.pdf"},
      {"\\My Documents\\report.pdf", "report.pdf"},
      {"../../etc/passwd", "passwd"},
      {"a\r\nb\tc\x7f.txt", "abc.txt"},
      {"..", "fallback"},
      {"dir/", "fallback"},
      {"\x01\x02", "fallback"},
      {"caf\xC3\xA9 menu.txt", "caf\xC3\xA9 menu.txt"},
  };
  for (const Case& c : cases) EXPECT_EQ(SafeFileName(c.name, "fallback"), c.safe) << c.name;
}

TEST(TextFields, TextsAreConvertedFromTheAnnouncedCodePage) {
  EXPECT_EQ(IconvName(1252), "WINDOWS-1252");
  EXPECT_EQ(IconvName(932), "CP932");
  EXPECT_EQ(ToUtf8("caf\xE9 \x80", 1252), "caf\xC3\xA9 \xE2\x82\xAC");
  // CP932, not SHIFT_JIS: 0x5C stays a backslash.
  EXPECT_EQ(ToUtf8("\x93\xFA\x96\x7B\\", 932), "\xE6\x97\xA5\xE6\x9C\xAC\\");
  EXPECT_EQ(ToUtf8("\xB0\xA1", 936), "\xE5\x95\x8A");
  // One bad byte is replaced; the rest of the text survives.
  EXPECT_EQ(ToUtf8("ok \x81 ok", 1252), "ok \xEF\xBF\xBD ok");
  EXPECT_EQ(ToUtf8("\x93", 932), "\xEF\xBF\xBD");
  EXPECT_EQ(ToUtf8("plain", 99999), "plain");
}

TEST(TextFields, PictureKeysAreCaseBlindAndCannotLeaveTheirFolder) {
  EXPECT_EQ(PictureKey("Ann@Example.ORG"), PictureKey("ann@example.org"));
  EXPECT_EQ(PictureKey("ann@example.org"), "ann@example.org");
  EXPECT_EQ(PictureKey("../x"), "%2E.%2Fx");
  EXPECT_EQ(PictureKey(".."), "%2E.");
  EXPECT_NE(PictureKey("a/b"), PictureKey("a_b"));
  EXPECT_EQ(PictureKey(""), "%");
}

}  // namespace
}  // namespace murmel::server
