// The string table as the client loads it: one text for every id and nothing beyond, the
// format each caller fills in, the sample address of the invalid e-mail message and the
// help address that follows the home-page build option.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <set>
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

class StringTable : public ::testing::Test {
 protected:
  void SetUp() override { RegisterClientResources(); }
};

TEST_F(StringTable, EveryIdHasItsOwnTextWithTheFormatItsCallerFillsIn) {
  std::set<std::u16string> seen;
  for (int id = 1; id <= 17; ++id) {
    const std::u16string text = LoadText(id);
    EXPECT_TRUE(seen.insert(text).second)
        << "string " << id << " repeats: " << testing::PrintToString(text);
    // wsprintfW fills these in; any other '%' would read an argument nobody passed.
    std::u16string format;
    if (id == IDS_ADDRESS_COUNT_ONE || id == IDS_ADDRESS_COUNT_MANY) format = u"%d";
    if (id == IDS_CLEAR_ATTACHMENT_QUESTION) format = u"%s";
    EXPECT_EQ(std::count(text.begin(), text.end(), u'%'), format.empty() ? 0 : 1) << id;
    EXPECT_NE(text.find(format), std::u16string::npos) << id;
  }
  EXPECT_FALSE(seen.contains(u"")) << "an id without a text";
  EXPECT_EQ(LoadText(18), u"");
}

TEST_F(StringTable, InvalidEmailMessageOffersAnAddressTheProfileWouldAccept) {
  const std::u16string lead = u"Please enter valid e-mail address.\nFor example, ";
  const std::u16string text = LoadText(IDS_INVALID_EMAIL);
  ASSERT_TRUE(text.starts_with(lead)) << testing::PrintToString(text);
  const std::u16string sample = text.substr(lead.size());
  EXPECT_TRUE(sample.ends_with(u"@example.com")) << testing::PrintToString(sample);
  // A sample that the profile's own check refused or rewrote would mislead the user.
  std::u16string checked = sample;
  EXPECT_EQ(ValidateEmail(checked.data(), 0), 1) << testing::PrintToString(sample);
  EXPECT_EQ(checked, sample);
}

TEST_F(StringTable, ConnectionFailureNamesTheHelpPageOfTheConfiguredSite) {
  // CTest passes the build's MURMELPOST_HOME_URL option in; a build for another site
  // must point its users there, not at a fixed address.
  const char* url = std::getenv("MURMELPOST_TEST_HOME_URL");
  if (url == nullptr) GTEST_SKIP() << "run through CTest, which sets MURMELPOST_TEST_HOME_URL";
  std::u16string tail = u"For more help, go to ";
  for (const char* p = url; *p != '\0'; ++p) tail += static_cast<char16_t>(*p);
  const std::u16string text = LoadText(IDS_CONNECT_FAILED);
  EXPECT_TRUE(text.starts_with(u"Cannot connect to Murmelpost server"))
      << testing::PrintToString(text);
  EXPECT_TRUE(text.ends_with(u"\n\n" + tail + u"/help/")) << testing::PrintToString(text);
}

}  // namespace
