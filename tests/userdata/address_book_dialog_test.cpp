#include <windows.h>

#include <gtest/gtest.h>

#include "userdata_support.h"

#include <string>
#include <vector>

#include "resources/client_resources.h"
#include "resources/resource_ids.h"
#include "userdata/address_book.h"
#include "userdata/address_book_dialog.h"
#include "userdata/input_panel.h"

namespace {

using namespace userdata_test;

using murmel::testing::Click;
using murmel::testing::Type;

Entries WorkingList(HWND dialog) {
  return Texts(GetDlgItem(dialog, IDC_ADDRESS_LIST), LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT);
}

LRESULT Selected(HWND dialog) {
  return SendDlgItemMessageW(dialog, IDC_ADDRESS_LIST, LB_GETCURSEL, 0, 0);
}

void AddTyped(HWND dialog, const WCHAR* text) {
  Type(GetDlgItem(dialog, IDC_ADDRESS_ENTRY), text);
  Click(GetDlgItem(dialog, IDC_ADDRESS_ADD));
}

class AddressBookDialogTest : public RecipientBoxTest {
 protected:
  void SetUp() override {
    RecipientBoxTest::SetUp();
    RegisterClientResources();
    HideInputPanel();
  }
  void TearDown() override {
    murmel::testing::ProcessEvents();
    RecipientBoxTest::TearDown();
  }
};

TEST_F(AddressBookDialogTest, OpensSortedAndDelRemovesTheSelectionAndTheCountFollows) {
  SetEntries({u"zed@z.org", u"Amy@a.org", u"bob@b.org"});
  WhileOpen([](HWND dialog) {
    EXPECT_EQ(WorkingList(dialog), (Entries{u"Amy@a.org", u"bob@b.org", u"zed@z.org"}));
    EXPECT_EQ(NavigationText(), u"Manage Address Book");
    EXPECT_TRUE(InputPanelRaised());
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_ADDRESS_LIST));
    const auto del = [dialog](const Entries& left, LRESULT selected, const WCHAR* count) {
      Click(GetDlgItem(dialog, IDC_ADDRESS_DELETE));
      EXPECT_EQ(WorkingList(dialog), left);
      EXPECT_EQ(Selected(dialog), selected);
      EXPECT_EQ(ItemText(dialog, IDC_ADDRESS_COUNT), count);
    };
    del({u"Amy@a.org", u"bob@b.org", u"zed@z.org"}, LB_ERR, u"(3 addresses)");  // no selection
    SendDlgItemMessageW(dialog, IDC_ADDRESS_LIST, LB_SETCURSEL, 1, 0);
    // What followed the deleted entry is selected; after the last, nothing is.
    del({u"Amy@a.org", u"zed@z.org"}, 1, u"(2 addresses)");
    del({u"Amy@a.org"}, LB_ERR, u"(1 address)");
    SendDlgItemMessageW(dialog, IDC_ADDRESS_LIST, LB_SETCURSEL, 0, 0);
    del({}, LB_ERR, u"(0 address)");
    AddTyped(dialog, u"one@o.org");
    EXPECT_EQ(ItemText(dialog, IDC_ADDRESS_COUNT), u"(1 address)");
    AddTyped(dialog, u"two@t.org");
    EXPECT_EQ(ItemText(dialog, IDC_ADDRESS_COUNT), u"(2 addresses)");
    del({u"one@o.org"}, LB_ERR, u"(1 address)");  // the new entry is selected
    PressEscape(dialog);
  });
  EXPECT_EQ(RunAddressBookDialog(owner_), 0);
}

TEST_F(AddressBookDialogTest, AddTrimsBlanksRefusesListsSilentlyAndSelectsCaseVariants) {
  SetEntries({u"Mia@m.org"});
  WhileOpen([](HWND dialog) {
    const Entries trimmed{u"ann@a.org", u"Mia@m.org"};
    AddTyped(dialog, u"  ann@a.org  ");
    EXPECT_EQ(WorkingList(dialog), trimmed);

    // A list stays in the field, all of it selected for correcting.
    AddTyped(dialog, u"x@y.z w@v.u");
    EXPECT_EQ(WorkingList(dialog), trimmed);
    EXPECT_EQ(ItemText(dialog, IDC_ADDRESS_ENTRY), u"x@y.z w@v.u");
    EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_ADDRESS_ENTRY, EM_GETSEL, 0, 0), MAKELONG(0, 11));
    SetDlgItemTextW(dialog, IDC_ADDRESS_ENTRY, u"");

    AddTyped(dialog, u"MIA@M.ORG");
    EXPECT_EQ(WorkingList(dialog), trimmed);
    EXPECT_EQ(Selected(dialog), 1);
    EXPECT_EQ(ItemText(dialog, IDC_ADDRESS_ENTRY), u"");
    EXPECT_EQ(ItemText(dialog, IDC_ADDRESS_COUNT), u"(2 addresses)");
    PressEscape(dialog);
  });
  RunAddressBookDialog(owner_);
  EXPECT_TRUE(murmel::testing::MessageBoxesShown().empty());
}

TEST_F(AddressBookDialogTest, DoneSortsTheRecipientsAndEmptiesTheTypedTextCancelKeepsBoth) {
  for (const bool done : {true, false}) {
    SCOPED_TRACE(done ? "done" : "cancel");
    SetEntries({u"zed@z.org", u"Amy@a.org", u"bob@b.org"});
    SetWindowTextW(box_, u"typed@t.org, par");
    WhileOpen([done](HWND dialog) {
      if (done) return ClickDone();
      AddTyped(dialog, u"new@n.org");
      SendDlgItemMessageW(dialog, IDC_ADDRESS_LIST, LB_SETCURSEL, 0, 0);
      Click(GetDlgItem(dialog, IDC_ADDRESS_DELETE));
      PressEscape(dialog);
    });
    EXPECT_EQ(RunAddressBookDialog(owner_), done ? 1 : 0);
    EXPECT_EQ(ListEntries(), (done ? Entries{u"Amy@a.org", u"bob@b.org", u"zed@z.org"}
                                   : Entries{u"zed@z.org", u"Amy@a.org", u"bob@b.org"}));
    EXPECT_EQ(ItemText(owner_, 60000), done ? u"" : u"typed@t.org, par");
  }
}

}  // namespace
