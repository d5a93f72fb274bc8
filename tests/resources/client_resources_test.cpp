// What one registration gives the client to load by id: the main menu, whose pop-ups the
// shell takes by position and whose items it enables and dispatches by command; the dialog
// templates that other parts of the program contribute; and the string table: one text for
// every id and nothing beyond, the format each caller fills in, the sample address of the
// invalid e-mail message and the help address that follows the home-page build option.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "resources/client_resources.h"
#include "resources/resource_ids.h"
#include "userdata/email_address.h"

namespace {

TEST(ClientResources, OneRegistrationProvidesTheMenuAndTheDialogTemplates) {
  // Registering twice must not matter: start-up and tests may both ask for it.
  RegisterClientResources();
  RegisterClientResources();
  for (int id : {IDD_ABOUT, IDD_USER_PROFILE, IDD_ADDRESS_BOOK}) {
    EXPECT_NE(FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_DIALOG), nullptr) << "dialog " << id;
  }

  const HMENU menu = LoadMenuW(nullptr, MAKEINTRESOURCEW(IDR_MAIN_MENU));
  ASSERT_NE(menu, nullptr);
  const struct {
    int position;
    std::vector<int> commands;
  } popups[] = {
      {MENU_POS_OPTION,
       {IDM_ATTACH_FILE, IDM_CLEAR_ATTACHMENT, IDM_CUSTOM_PICTURE, IDM_CLEAR_CUSTOM_PICTURE,
        IDM_ADDRESS_BOOK, IDM_USER_PROFILE, IDM_EXIT}},
      {MENU_POS_HELP,
       {IDM_ABOUT, IDM_QUICK_TUTORIAL, IDM_CE_TUTORIAL, IDM_TROUBLE_RECORDING, IDM_TROUBLE_PLAYING,
        IDM_TROUBLE_SENDING, IDM_TROUBLE_ADDRESS_BOOK, IDM_HOMEPAGE}},
  };
  for (const auto& popup : popups) {
    const HMENU sub = GetSubMenu(menu, popup.position);
    ASSERT_NE(sub, nullptr) << popup.position;
    // Every command the shell handles is in its pop-up; only Clear Attached starts grayed.
    for (int command : popup.commands) {
      const UINT was = EnableMenuItem(sub, command, MF_BYCOMMAND | MF_ENABLED);
      EXPECT_EQ(was, command == IDM_CLEAR_ATTACHMENT ? MF_GRAYED : MF_ENABLED) << command;
    }
  }
  // The shell grays and enables it through the top menu, by command.
  EXPECT_EQ(EnableMenuItem(menu, IDM_CLEAR_ATTACHMENT, MF_BYCOMMAND | MF_GRAYED), MF_ENABLED);
  EXPECT_EQ(EnableMenuItem(menu, IDM_CLEAR_ATTACHMENT, MF_BYCOMMAND | MF_ENABLED), MF_GRAYED);
  DestroyMenu(menu);
}

std::u16string LoadText(int id) {
  RegisterClientResources();  // repeating it is harmless
  WCHAR buffer[1024] = {};
  const int length = LoadStringW(nullptr, static_cast<UINT>(id), buffer, 1024);
  return std::u16string(buffer, static_cast<std::size_t>(length));
}

TEST(StringTable, EveryIdHasItsOwnTextWithTheFormatItsCallerFillsIn) {
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

TEST(StringTable, InvalidEmailMessageOffersAnAddressTheProfileWouldAccept) {
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

TEST(StringTable, ConnectionFailureNamesTheHelpPageOfTheConfiguredSite) {
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
