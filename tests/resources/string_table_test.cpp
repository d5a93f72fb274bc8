// The string table as the client loads it: every id's text, the sample address of the
// invalid e-mail message and the help address that follows the home-page build option.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "resources/client_resources.h"
#include "resources/resource_ids.h"
#include "userdata/email_address.h"

namespace {

std::u16string LoadText(int id) {
  WCHAR buffer[1024] = {};
  const int length = LoadStringW(nullptr, static_cast<UINT>(id), buffer, 1024);
  return std::u16string(buffer, static_cast<std::size_t>(length));
}

std::string Printable(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

const std::u16string kConnectFailedLead =
    u"Cannot connect to Murmelpost server to send your message.\n"
    u"Please try again later or check your network connection\n"
    u"or contact your system administrator regarding firewall issues.\n\n"
    u"For more help, go to ";
const std::u16string kInvalidEmailLead = u"Please enter valid e-mail address.\nFor example, ";

class StringTable : public ::testing::Test {
 protected:
  void SetUp() override { RegisterClientResources(); }
};

TEST_F(StringTable, EveryFixedTextLoadsUnderItsId) {
  const struct {
    int id;
    std::u16string text;
  } cases[] = {
      {1, u"(%d address)"},
      {2, u"(%d addresses)"},
      {3, u"Please fill-in all fields."},
      {4, u"Please ensure both e-mail addresses are the same."},
      {6, u"Murmelpost Voice Email"},
      {8, u"Do you want to clear below attached file?\n%s"},
      {9, u"Clear Attached File"},
      {10,
       u"Murmelpost will send an e-mail to you shortly asking that you verify this custom "
       u"image change.\nYour Murmelpost messages will not include your new custom image "
       u"until you verify this change."},
      {11,
       u"Murmelpost do not allow bigger than 100K custom image file.\nPlease use smaller "
       u"image file for custom image."},
      {12, u"Do you want to clear custom cartoon or graphic image and use random cartoon?"},
      {13, u"Clear Custom Image"},
      {14, u"CEVireoRec"},
      {15, u"Not installed Pocket Explore"},
      {16, u"Murmelpost"},
      {17, u"No message exist"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Printable(LoadText(c.id)), Printable(c.text)) << "string " << c.id;
  }
  // Nothing beyond the table.
  EXPECT_EQ(LoadText(IDS_LAST + 1), u"");
}

TEST_F(StringTable, InvalidEmailMessageOffersAnAddressTheProfileWouldAccept) {
  const std::u16string text = LoadText(IDS_INVALID_EMAIL);
  ASSERT_EQ(text.rfind(kInvalidEmailLead, 0), 0U) << Printable(text);
  std::u16string sample = text.substr(kInvalidEmailLead.size());
  const std::u16string domain = u"@example.com";
  ASSERT_GT(sample.size(), domain.size());
  EXPECT_EQ(sample.substr(sample.size() - domain.size()), domain) << Printable(sample);

  // A sample that the profile's own check refused or rewrote would mislead the user.
  std::u16string checked = sample;
  EXPECT_EQ(ValidateEmail(checked.data(), 0), 1) << Printable(sample);
  EXPECT_EQ(checked, sample);
}

TEST_F(StringTable, ConnectionFailureNamesTheHelpPageOfTheConfiguredSite) {
  // CTest passes the build's MURMELPOST_HOME_URL option in; a build for another site
  // must point its users there, not at a fixed address.
  const char* url = std::getenv("MURMELPOST_TEST_HOME_URL");
  if (url == nullptr) GTEST_SKIP() << "run through CTest, which sets MURMELPOST_TEST_HOME_URL";
  std::u16string expected = kConnectFailedLead;
  for (const char* p = url; *p != '\0'; ++p) expected += static_cast<char16_t>(*p);
  expected += u"/help/";
  EXPECT_EQ(Printable(LoadText(IDS_CONNECT_FAILED)), Printable(expected));
}

}  // namespace
