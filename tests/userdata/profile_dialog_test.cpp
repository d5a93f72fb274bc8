#include <windows.h>

#include <gtest/gtest.h>

#include "userdata_support.h"

#include <optional>
#include <string>

#include "resources/client_resources.h"
#include "resources/resource_ids.h"
#include "state/app_state.h"
#include "userdata/input_panel.h"
#include "userdata/profile.h"
#include "userdata/profile_dialog.h"

namespace {

using namespace userdata_test;

using murmel::testing::AnswerMessageBoxes;
using murmel::testing::Click;
using murmel::testing::ForgetMessageBoxesShown;
using murmel::testing::MessageBoxesShown;
using murmel::testing::Type;

class ProfileDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartScreen();
    RegisterClientResources();
    SetInMemory({});
    HideInputPanel();
    AnswerMessageBoxes(IDOK);
    ForgetMessageBoxesShown();
  }
  void TearDown() override {
    murmel::testing::ProcessEvents();
    AnswerMessageBoxes(0);
    ForgetMessageBoxesShown();
  }
  DeviceFolder device_;
};

TEST_F(ProfileDialogTest, OpeningShowsTheStoredProfileAndPicksTheCountryByPrefix) {
  const struct {
    const WCHAR* country;
    const WCHAR* sex;
    const WCHAR* selected;
    bool ms;
  } cases[] = {
      {nullptr, u"", u"United States", false},  // the first opening: nothing stored
      {u"Atlantis", u"Mr.", u"United States", false},
      {u"united", u"ms.", u"United Arab Emirates", false},  // title compared exactly
      {u"Afghanistan", u"", u"Afghanistan", false},         // first entry, searched last
      {u"a", u"Mr.", u"Albania", false},  // so a later entry it begins wins over it
      {u"Zimbabwe", u"Ms.", u"Zimbabwe", true},
  };
  for (const auto& c : cases) {
    const std::u16string stored = c.country == nullptr ? u"" : u"kim@example.orgKim LeeSeoul-";
    SCOPED_TRACE(std::string(stored.begin(), stored.end()));
    SetInMemory(c.country == nullptr
                    ? Profile{u"", u"", c.sex, u"", u"", u""}
                    : Profile{u"kim@example.org", u"Kim Lee", c.sex, u"Seoul", u"-", c.country});
    WhileOpen([&](HWND dialog) {
      const HWND countries = GetDlgItem(dialog, IDC_PROFILE_COUNTRY);
      WCHAR selected[128] = {};
      SendMessageW(countries, CB_GETLBTEXT, SendMessageW(countries, CB_GETCURSEL, 0, 0),
                   reinterpret_cast<LPARAM>(selected));
      EXPECT_EQ(std::u16string(selected), c.selected);
      EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_PROFILE_MS) == BST_CHECKED, c.ms);
      EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_PROFILE_MR) == BST_CHECKED, !c.ms);
      // The e-mail address fills its confirmation too.
      EXPECT_EQ(ItemText(dialog, IDC_PROFILE_EMAIL_CONFIRM) + ItemText(dialog, IDC_PROFILE_NAME) +
                    ItemText(dialog, IDC_PROFILE_CITY) + ItemText(dialog, IDC_PROFILE_STATE),
                stored);
      EXPECT_EQ(ItemText(dialog, IDC_PROFILE_EMAIL), ItemText(dialog, IDC_PROFILE_EMAIL_CONFIRM));
      EXPECT_EQ(NavigationText(), u"User Profile(Requires all)");
      EXPECT_TRUE(InputPanelRaised());
      EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_PROFILE_EMAIL));
      PressEscape(dialog);
    });
    EXPECT_EQ(RunProfileDialog(nullptr), 0);
    // Closing lowers the panel; nothing reaches the file.
    EXPECT_FALSE(InputPanelRaised());
    EXPECT_FALSE(device_.Exists(PROFILE_FILE));
  }
}

TEST_F(ProfileDialogTest,
       DoneChecksFilledThenEqualThenValidShowsOnlyTheFirstFailureAndKeepsRefusedTexts) {
  const struct {
    const char* name;
    const WCHAR* email;
    const WCHAR* confirmation;
    const WCHAR* full_name;
    std::optional<int> message;  // none: accepted
  } cases[] = {
      {"nothing typed", u"", u"", u"", IDS_FILL_ALL_FIELDS},
      {"empty name before differing e-mails", u"a@b.c", u"x@y.z", u"", IDS_FILL_ALL_FIELDS},
      {"differing before invalid", u"ab", u"ab ", u"Ann", IDS_EMAILS_DIFFER},
      {"leading blank in one field only", u" ann@b.c", u"ann@b.c", u"Ann", IDS_EMAILS_DIFFER},
      {"case differs", u"Ann@b.c", u"ann@b.c", u"Ann", IDS_EMAILS_DIFFER},
      {"blank inside makes a list", u"ann @b.c", u"ann @b.c", u"Ann", IDS_INVALID_EMAIL},
      {"blanks around in both", u" ann@b.c ", u" ann@b.c ", u"Ann", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetInMemory({});
    ForgetMessageBoxesShown();
    std::filesystem::remove(device_.HostPath(PROFILE_FILE));
    std::u16string after_ok_navigation;
    HWND opened = nullptr;
    WhileOpen([&](HWND dialog) {
      opened = dialog;
      Type(GetDlgItem(dialog, IDC_PROFILE_EMAIL), c.email);
      Type(GetDlgItem(dialog, IDC_PROFILE_EMAIL_CONFIRM), c.confirmation);
      Type(GetDlgItem(dialog, IDC_PROFILE_NAME), c.full_name);
      Type(GetDlgItem(dialog, IDC_PROFILE_CITY), u"Oslo");
      Type(GetDlgItem(dialog, IDC_PROFILE_STATE), u"OS");
      Click(GetDlgItem(dialog, IDC_PROFILE_MS));
      ClickDone();
      // Still open after a refusal: close it the user's way.
      if (!MessageBoxesShown().empty()) {
        after_ok_navigation = NavigationText();
        PressEscape(dialog);
      }
    });
    const INT_PTR result = RunProfileDialog(nullptr);
    const auto shown = MessageBoxesShown();
    if (c.message) {
      EXPECT_EQ(result, 0);
      ASSERT_EQ(shown.size(), 1u);
      WCHAR text[512] = {};
      LoadStringW(nullptr, static_cast<UINT>(*c.message), text, 512);
      EXPECT_EQ(shown[0].text, std::u16string(text));
      EXPECT_EQ(shown[0].caption, u"Murmelpost");
      EXPECT_EQ(shown[0].style, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
      EXPECT_EQ(shown[0].owner, opened);
      EXPECT_EQ(after_ok_navigation, u"User Profile(Requires all)");
      // The refused texts stay in memory for the next opening; only the file is spared.
      EXPECT_EQ(InMemory().name + InMemory().city, c.full_name + std::u16string(u"Oslo"));
      EXPECT_FALSE(device_.Exists(PROFILE_FILE));
    } else {
      EXPECT_EQ(result, 1);
      EXPECT_TRUE(shown.empty());
      EXPECT_EQ(device_.Read(PROFILE_FILE),
                Utf16Bytes(u"[VireoRec]\r\nemail=ann@b.c\r\nname=Ann\r\nsex=Ms.\r\ncity=Oslo\r\n"
                           u"state=OS\r\ncountry=United States\r\n"));
      EXPECT_FALSE(InputPanelRaised());
    }
  }
}

TEST_F(ProfileDialogTest, StartUpAsksOnlyForAMissingOrIncompleteProfile) {
  const struct {
    const char* name;
    std::u16string file;  // empty: none
    bool held;            // open elsewhere without sharing
    const WCHAR* city;    // typed into the dialog before Done; null: Cancel
    bool dialog;
    bool loaded;
  } cases[] = {
      {"missing file", u"", false, nullptr, true, false},
      {"complete file",
       u"country=Peru\r\nsex=Ms.\r\nstate=L\r\nname=Ana\r\ncity=Lima\r\nemail=ana@pe.pe\r\n", false,
       nullptr, false, true},
      {"unreadable file", u"email=a@b.c\r\n", true, nullptr, false, false},
      {"incomplete file",
       u"[VireoRec]\r\nemail=ana@pe.pe\r\nname=Ana\r\nsex=Ms.\r\ncity=\r\nstate=L\r\ncountry="
       u"Peru\r\n",
       false, u"Lima", true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetInMemory({});
    if (!c.file.empty()) device_.WriteText(PROFILE_FILE, c.file);
    const HANDLE holder = c.held
                              ? CreateFileW(u"\\Windows\\CEVireoRec.pfi", GENERIC_READ, 0, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                              : INVALID_HANDLE_VALUE;
    bool dialog_seen = false;
    WhileOpen([&](HWND dialog) {
      if (GetDlgItem(dialog, IDC_PROFILE_EMAIL) == nullptr) return;  // no dialog opened
      dialog_seen = true;
      if (c.city == nullptr) return PressEscape(dialog);
      // What was read is shown.
      EXPECT_EQ(ItemText(dialog, IDC_PROFILE_NAME), u"Ana");
      EXPECT_EQ(ItemText(dialog, IDC_PROFILE_CITY), u"");
      Type(GetDlgItem(dialog, IDC_PROFILE_CITY), c.city);
      ClickDone();
    });
    EXPECT_EQ(LoadProfile(), c.loaded);
    murmel::testing::ProcessEvents();
    if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
    EXPECT_EQ(dialog_seen, c.dialog);
    EXPECT_EQ(std::u16string(appState.email), c.loaded ? u"ana@pe.pe" : u"");
    EXPECT_EQ(device_.Exists(PROFILE_FILE), !c.file.empty());
  }
  EXPECT_EQ(device_.Read(PROFILE_FILE),
            Utf16Bytes(u"[VireoRec]\r\nemail=ana@pe.pe\r\nname=Ana\r\nsex=Ms.\r\ncity=Lima\r\n"
                       u"state=L\r\ncountry=Peru\r\n"));
}

}  // namespace
