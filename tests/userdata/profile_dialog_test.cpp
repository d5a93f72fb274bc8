#include <windows.h>

#include <gtest/gtest.h>

#include "userdata_support.h"

#include <Qt>
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

std::u16string SelectedCountry(HWND dialog) {
  const HWND countries = GetDlgItem(dialog, IDC_PROFILE_COUNTRY);
  const auto index = SendMessageW(countries, CB_GETCURSEL, 0, 0);
  WCHAR name[128] = {};
  SendMessageW(countries, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(name));
  return name;
}

class ProfileDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartScreen();
    RegisterClientResources();
    ClearProfile();
    HideInputPanel();
    AnswerMessageBoxes(IDOK);
    ForgetMessageBoxesShown();
  }
  void TearDown() override {
    murmel::testing::ProcessEvents();
    ClearProfile();
    AnswerMessageBoxes(0);
    ForgetMessageBoxesShown();
  }
  DeviceFolder device_;
};

// What the dialog shows as it opens, captured before Escape closes it.
struct Opened {
  std::u16string email, confirmation, name, city, state, country, navigation;
  bool mr = false, ms = false, panel = false, focus_on_email = false;
  int countries = 0;
};

Opened OpenAndCancel(HWND owner, INT_PTR* result) {
  Opened seen;
  WhileOpen([&](HWND dialog) {
    seen.email = ItemText(dialog, IDC_PROFILE_EMAIL);
    seen.confirmation = ItemText(dialog, IDC_PROFILE_EMAIL_CONFIRM);
    seen.name = ItemText(dialog, IDC_PROFILE_NAME);
    seen.city = ItemText(dialog, IDC_PROFILE_CITY);
    seen.state = ItemText(dialog, IDC_PROFILE_STATE);
    seen.country = SelectedCountry(dialog);
    seen.countries =
        static_cast<int>(SendDlgItemMessageW(dialog, IDC_PROFILE_COUNTRY, CB_GETCOUNT, 0, 0));
    seen.navigation = NavigationText();
    seen.mr = IsDlgButtonChecked(dialog, IDC_PROFILE_MR) == BST_CHECKED;
    seen.ms = IsDlgButtonChecked(dialog, IDC_PROFILE_MS) == BST_CHECKED;
    seen.panel = InputPanelRaised();
    seen.focus_on_email = GetFocus() == GetDlgItem(dialog, IDC_PROFILE_EMAIL);
    PressEscape(dialog);
  });
  *result = RunProfileDialog(owner);
  return seen;
}

TEST_F(ProfileDialogTest, FirstOpeningShowsEmptyFieldsMrAndTheUnitedStatesAndCancelSavesNothing) {
  INT_PTR result = -1;
  const Opened seen = OpenAndCancel(nullptr, &result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(seen.email, u"");
  EXPECT_EQ(seen.confirmation, u"");
  EXPECT_TRUE(seen.mr);
  EXPECT_FALSE(seen.ms);
  EXPECT_EQ(seen.country, u"United States");
  EXPECT_EQ(seen.countries, 227);
  EXPECT_EQ(seen.navigation, u"User Profile(Requires all)");
  EXPECT_TRUE(seen.panel);
  EXPECT_TRUE(seen.focus_on_email);
  // Closing lowers the panel; nothing reaches the file.
  EXPECT_FALSE(InputPanelRaised());
  EXPECT_FALSE(device_.Exists(PROFILE_FILE));
}

TEST_F(ProfileDialogTest, StoredFieldsFillTheDialogAndTheStoredCountrySelectsByPrefix) {
  struct Case {
    const WCHAR* country;
    const WCHAR* sex;
    const WCHAR* selected;
    bool ms;
  } const cases[] = {
      {u"Korea", u"Ms.", u"Korea (North)", true},
      {u"Atlantis", u"Mr.", u"United States", false},
      {u"united", u"ms.", u"United Arab Emirates", false},  // title compared exactly
      {u"Afghanistan", u"", u"Afghanistan", false},         // first entry, searched last
      {u"a", u"Mr.", u"Albania", false},  // so a later entry it begins wins over it
      {u"Zimbabwe", u"Ms.", u"Zimbabwe", true},
  };
  for (const Case& c : cases) {
    appState.email = u"kim@example.org";
    appState.name = u"Kim Lee";
    appState.city = u"Seoul";
    appState.state = u"-";
    appState.country = c.country;
    appState.sex = c.sex;
    INT_PTR result = -1;
    const Opened seen = OpenAndCancel(nullptr, &result);
    const std::string name(c.country, c.country + wcslen(c.country));
    EXPECT_EQ(seen.country, c.selected) << name;
    EXPECT_EQ(seen.ms, c.ms) << name;
    EXPECT_EQ(seen.mr, !c.ms) << name;
    EXPECT_EQ(seen.email + seen.confirmation + seen.name + seen.city + seen.state,
              u"kim@example.orgkim@example.orgKim LeeSeoul-")
        << name;
  }
}

struct CheckCase {
  const char* name;
  const WCHAR* email;
  const WCHAR* confirmation;
  const WCHAR* full_name;
  std::optional<int> message;  // none: accepted
};

TEST_F(ProfileDialogTest, OkChecksFilledThenEqualThenValidAndShowsOnlyTheFirstFailure) {
  const CheckCase cases[] = {
      {"nothing typed", u"", u"", u"", IDS_FILL_ALL_FIELDS},
      {"empty name before differing e-mails", u"a@b.c", u"x@y.z", u"", IDS_FILL_ALL_FIELDS},
      {"differing before invalid", u"ab", u"ab ", u"Ann", IDS_EMAILS_DIFFER},
      {"leading blank in one field only", u" ann@b.c", u"ann@b.c", u"Ann", IDS_EMAILS_DIFFER},
      {"case differs", u"Ann@b.c", u"ann@b.c", u"Ann", IDS_EMAILS_DIFFER},
      {"blank inside makes a list", u"ann @b.c", u"ann @b.c", u"Ann", IDS_INVALID_EMAIL},
      {"two characters", u"a@", u"a@", u"Ann", IDS_INVALID_EMAIL},
      {"@ first", u"@bc", u"@bc", u"Ann", IDS_INVALID_EMAIL},
      {"@ last", u"abc@", u"abc@", u"Ann", IDS_INVALID_EMAIL},
      {"blanks around in both", u" ann@b.c ", u" ann@b.c ", u"Ann", std::nullopt},
  };
  for (const CheckCase& c : cases) {
    ClearProfile();
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
      EXPECT_EQ(result, 0) << c.name;
      ASSERT_EQ(shown.size(), 1u) << c.name;
      EXPECT_EQ(shown[0].text, LoadedString(*c.message)) << c.name;
      EXPECT_EQ(shown[0].caption, u"Murmelpost") << c.name;
      EXPECT_EQ(shown[0].style, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION)) << c.name;
      EXPECT_EQ(shown[0].owner, opened) << c.name;
      EXPECT_EQ(after_ok_navigation, u"User Profile(Requires all)") << c.name;
      EXPECT_FALSE(device_.Exists(PROFILE_FILE)) << c.name;
    } else {
      EXPECT_EQ(result, 1) << c.name;
      EXPECT_TRUE(shown.empty()) << c.name;
      EXPECT_EQ(device_.Read(PROFILE_FILE),
                Utf16Bytes(u"[VireoRec]\r\nemail=ann@b.c\r\nname=Ann\r\nsex=Ms.\r\ncity=Oslo\r\n"
                           u"state=OS\r\ncountry=United States\r\n"))
          << c.name;
      EXPECT_FALSE(InputPanelRaised()) << c.name;
    }
  }
}

TEST_F(ProfileDialogTest, RefusedTextsStayInMemoryAfterCancelWhileTheFileKeepsTheOldProfile) {
  appState.email = u"old@o.org";
  appState.name = u"Old";
  appState.sex = u"Mr.";
  appState.city = u"C";
  appState.state = u"S";
  appState.country = u"Chad";
  ASSERT_TRUE(SaveProfile());
  const std::string saved = device_.Read(PROFILE_FILE);

  WhileOpen([](HWND dialog) {
    SetDlgItemTextW(dialog, IDC_PROFILE_EMAIL, u"");
    Type(GetDlgItem(dialog, IDC_PROFILE_EMAIL), u"new@n.org");
    SetDlgItemTextW(dialog, IDC_PROFILE_NAME, u"");
    Type(GetDlgItem(dialog, IDC_PROFILE_NAME), u"New Name");
    ClickDone();  // refused: the confirmation still holds the old address
    PressEscape(dialog);
  });
  EXPECT_EQ(RunProfileDialog(nullptr), 0);
  ASSERT_EQ(MessageBoxesShown().size(), 1u);
  EXPECT_EQ(MessageBoxesShown()[0].text, LoadedString(IDS_EMAILS_DIFFER));
  EXPECT_EQ(std::u16string(appState.email), u"new@n.org");
  EXPECT_EQ(std::u16string(appState.name), u"New Name");
  EXPECT_EQ(std::u16string(appState.country), u"Chad");
  EXPECT_EQ(device_.Read(PROFILE_FILE), saved);
}

class LoadProfileTest : public ProfileDialogTest {
 protected:
  // Runs LoadProfile; a profile dialog that opens is recorded and answered by `answer`.
  bool Load(const std::function<void(HWND)>& answer) {
    dialog_seen_ = false;
    WhileOpen([this, answer](HWND dialog) {
      if (GetDlgItem(dialog, IDC_PROFILE_EMAIL) == nullptr) return;  // no dialog opened
      dialog_seen_ = true;
      answer(dialog);
    });
    const bool loaded = LoadProfile();
    murmel::testing::ProcessEvents();
    return loaded;
  }
  static void Cancel(HWND dialog) { PressEscape(dialog); }
  bool dialog_seen_ = false;
};

TEST_F(LoadProfileTest, MissingFileForcesTheDialogAndCancelRefusesStartUp) {
  EXPECT_FALSE(Load(Cancel));
  EXPECT_TRUE(dialog_seen_);
  EXPECT_FALSE(device_.Exists(PROFILE_FILE));
}

TEST_F(LoadProfileTest, CompleteFileLoadsWithoutADialog) {
  device_.WriteText(PROFILE_FILE,
                    u"country=Peru\r\nsex=Ms.\r\nstate=L\r\nname=Ana\r\ncity=Lima\r\n"
                    u"email=ana@pe.pe\r\n");
  EXPECT_TRUE(Load(Cancel));
  EXPECT_FALSE(dialog_seen_);
  EXPECT_EQ(std::u16string(appState.email), u"ana@pe.pe");
}

TEST_F(LoadProfileTest, IncompleteFileShowsWhatWasReadAndOkCompletesIt) {
  device_.WriteText(PROFILE_FILE,
                    u"[VireoRec]\r\nemail=ana@pe.pe\r\nname=Ana\r\nsex=Ms.\r\ncity=\r\n"
                    u"state=L\r\ncountry=Peru\r\n");
  std::u16string shown_name, shown_city;
  EXPECT_TRUE(Load([&](HWND dialog) {
    shown_name = ItemText(dialog, IDC_PROFILE_NAME);
    shown_city = ItemText(dialog, IDC_PROFILE_CITY);
    Type(GetDlgItem(dialog, IDC_PROFILE_CITY), u"Lima");
    ClickDone();
  }));
  EXPECT_TRUE(dialog_seen_);
  EXPECT_EQ(shown_name, u"Ana");
  EXPECT_EQ(shown_city, u"");
  EXPECT_EQ(device_.Read(PROFILE_FILE),
            Utf16Bytes(u"[VireoRec]\r\nemail=ana@pe.pe\r\nname=Ana\r\nsex=Ms.\r\ncity=Lima\r\n"
                       u"state=L\r\ncountry=Peru\r\n"));
}

TEST_F(LoadProfileTest, UnreadableFileRefusesStartUpWithoutADialog) {
  device_.WriteText(PROFILE_FILE, u"email=a@b.c\r\n");
  const HANDLE holder = CreateFileW(u"\\Windows\\CEVireoRec.pfi", GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(Load(Cancel));
  EXPECT_FALSE(dialog_seen_);
  CloseHandle(holder);
}

}  // namespace
