// Envelope texts, code pages and file names as a client (or a hostile peer) sends them.
#include <gtest/gtest.h>

#include "server/address.h"
#include "server/code_page.h"
#include "server/delivery.h"

namespace murmel::server {
namespace {

TEST(TextFields, MailboxesAreAcceptedOnlyInTheirPlainForm) {
  // The normalised mailbox, or nullptr when refused.
  const std::pair<const char*, const char*> cases[] = {
      {"ann@example.org", "ann@example.org"},
      {"Ann.Lee+tag@Example.ORG", "Ann.Lee+tag@example.org"},
      {"o'brien!#$%&*/=?^_`{|}~-@a-b.example", "o'brien!#$%&*/=?^_`{|}~-@a-b.example"},
      {"bob@m\xC3\xBCller.example", "bob@xn--mller-kva.example"},
      {"\"x\r\nCc: victim@bank.test\"@example.org", nullptr},
      {"g: a@example.org;", nullptr},
      {"Bob <bob@example.org>", nullptr},
      {"bob@example.org\r\n", nullptr},
      {"b\u00fcb@example.org", nullptr},
      {"a..b@example.org", nullptr},
      {"a@localhost", nullptr},
      {"a@-x.example", nullptr},
      {"a@[127.0.0.1]", nullptr},
      {"a@b@example.org", nullptr},
      {"a@", nullptr},
      {"", nullptr},
  };
  for (const auto& [text, accepted] : cases) {
    const Parsed<std::string> mailbox = ParseMailbox(text);
    if (accepted == nullptr) {
      EXPECT_FALSE(mailbox.ok()) << text << " gave " << mailbox.value;
    } else {
      EXPECT_EQ(mailbox.value, accepted) << text << ": " << mailbox.error;
    }
  }
  EXPECT_FALSE(ParseMailbox(std::string(65, 'a') + "@example.org").ok());
  EXPECT_FALSE(ParseMailbox("a@" + std::string(64, 'b') + ".example").ok());
}

TEST(TextFields, SenderIsQuotedNameAndMailboxAsTheClientFormatsIt) {
  struct Case {
    const char* text;
    const char* name;  // nullptr: refused
    const char* address;
  };
  const Case cases[] = {
      {"\"Ann Lee\" <ann@example.org>", "Ann Lee", "ann@example.org"},
      {"\"Ann \"the\" Lee\" <ann@example.org>", "Ann \"the\" Lee", "ann@example.org"},
      {"\"A \" <b>\" <ann@example.org>", "A \" <b>", "ann@example.org"},
      {"ann@example.org", nullptr, nullptr},
      {"Ann <ann@example.org>", nullptr, nullptr},
      {"\"Ann\" <ann@example.org> evil@example.net", nullptr, nullptr},
      {"\"Ann\r\nBcc: x@example.net\" <ann@example.org>", nullptr, nullptr},
      {"\"Ann\" <\"x\r\nCc: v@bank.test\"@example.org>", nullptr, nullptr},
      {"\"Ann\xC2\x85\" <ann@example.org>", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    const Parsed<Mailbox> sender = ParseSender(c.text);
    if (c.name == nullptr) {
      EXPECT_FALSE(sender.ok()) << c.text;
      continue;
    }
    EXPECT_EQ(sender.value.name, c.name) << c.text << ": " << sender.error;
    EXPECT_EQ(sender.value.address, c.address) << c.text;
  }
}

TEST(TextFields, RecipientsAreBareMailboxesBetweenSingleCommas) {
  for (const char* refused : {"a@b.example,", ",a@b.example", "a@b.example,,c@d.example",
                              "a@b.example, c@d.example", "a@b.example;c@d.example"}) {
    EXPECT_FALSE(ParseRecipients(refused).ok()) << refused;
  }
}

TEST(TextFields, FileNamesLoseTheirPathAndControlCharacters) {
  const std::pair<const char*, const char*> cases[] = {
      {"report.pdf", "report.pdf"},
      {"\\My Documents\\report.pdf", "report.pdf"},
      {"../../etc/passwd", "passwd"},
      {"a\r\nb\tc\x7f.txt", "abc.txt"},
      {"..", "fallback"},
      {"\x01\x02", "fallback"},
      {"caf\xC3\xA9 menu.txt", "caf\xC3\xA9 menu.txt"},
  };
  for (const auto& [name, safe] : cases) EXPECT_EQ(SafeFileName(name, "fallback"), safe) << name;
}

TEST(TextFields, TextsAreConvertedFromTheAnnouncedCodePage) {
  EXPECT_EQ(ToUtf8("caf\xE9 \x80", 1252), "caf\xC3\xA9 \xE2\x82\xAC");
  // CP932, not SHIFT_JIS: 0x5C stays a backslash.
  EXPECT_EQ(ToUtf8("\x93\xFA\x96\x7B\\", 932), "\xE6\x97\xA5\xE6\x9C\xAC\\");
  EXPECT_EQ(ToUtf8("\xB0\xA1", 936), "\xE5\x95\x8A");
  // One bad byte is replaced; the rest of the text survives.
  EXPECT_EQ(ToUtf8("ok \x81 ok", 1252), "ok \xEF\xBF\xBD ok");
  EXPECT_EQ(ToUtf8("\x93", 932), "\xEF\xBF\xBD");
  EXPECT_EQ(ToUtf8("plain", 99999), "plain");
  // The envelope's commas, quotes and brackets must be ASCII bytes in the code page.
  const std::pair<std::uint32_t, bool> pages[] = {{1252, true},  {932, true},   {936, true},
                                                  {1250, true},  {65001, true}, {500, false},
                                                  {1200, false}, {37, false},   {99999, false}};
  for (const auto& [page, supported] : pages)
    EXPECT_EQ(IsSupportedCodePage(page), supported) << page;
}

TEST(TextFields, PictureKeysAreCaseBlindAndCannotLeaveTheirFolder) {
  EXPECT_EQ(PictureKey("Ann@Example.ORG"), PictureKey("ann@example.org"));
  EXPECT_EQ(PictureKey("../x"), "%2E.%2Fx");
  EXPECT_EQ(PictureKey(".."), "%2E.");
  EXPECT_NE(PictureKey("a/b"), PictureKey("a_b"));
  EXPECT_EQ(PictureKey(""), "%");
}

}  // namespace
}  // namespace murmel::server
