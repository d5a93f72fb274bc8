#include <windows.h>

#include <gtest/gtest.h>

#include "userdata_support.h"

#include <Qt>
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
using murmel::testing::Key;
using murmel::testing::Type;

Entries WorkingList(HWND dialog) {
  const HWND list = GetDlgItem(dialog, IDC_ADDRESS_LIST);
  Entries entries;
  const auto count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    std::u16string entry(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)), 0);
    SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(entry.data()));
    entries.push_back(entry);
  }
  return entries;
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

TEST_F(AddressBookDialogTest, OpensSortedWithTheCountTitleAndPanelAndFocusOnTheList) {
  SetEntries({u"zed@z.org", u"Amy@a.org", u"bob@b.org"});
  Entries shown;
  std::u16string navigation, count;
  bool panel = false, focus_on_list = false;
  WhileOpen([&](HWND dialog) {
    shown = WorkingList(dialog);
    count = ItemText(dialog, IDC_ADDRESS_COUNT);
    navigation = NavigationText();
    panel = InputPanelRaised();
    focus_on_list = GetFocus() == GetDlgItem(dialog, IDC_ADDRESS_LIST);
    PressEscape(dialog);
  });
  EXPECT_EQ(RunAddressBookDialog(owner_), 0);
  EXPECT_EQ(shown, (Entries{u"Amy@a.org", u"bob@b.org", u"zed@z.org"}));
  EXPECT_EQ(count, u"(3 addresses)");
  EXPECT_EQ(navigation, u"Manage Address Book");
  EXPECT_TRUE(panel);
  EXPECT_TRUE(focus_on_list);
}

TEST_F(AddressBookDialogTest, CountLabelFollowsAddsAndDeletesInSingularAndPlural) {
  std::vector<std::u16string> labels;
  WhileOpen([&](HWND dialog) {
    labels.push_back(ItemText(dialog, IDC_ADDRESS_COUNT));
    AddTyped(dialog, u"one@o.org");
    labels.push_back(ItemText(dialog, IDC_ADDRESS_COUNT));
    AddTyped(dialog, u"two@t.org");
    labels.push_back(ItemText(dialog, IDC_ADDRESS_COUNT));
    Click(GetDlgItem(dialog, IDC_ADDRESS_DELETE));  // the new entry is selected
    labels.push_back(ItemText(dialog, IDC_ADDRESS_COUNT));
    PressEscape(dialog);
  });
  RunAddressBookDialog(owner_);
  EXPECT_EQ(labels, (std::vector<std::u16string>{u"(0 address)", u"(1 address)", u"(2 addresses)",
                                                 u"(1 address)"}));
}

TEST_F(AddressBookDialogTest, AddTrimsBlanksRefusesListsSilentlyAndSelectsCaseVariants) {
  SetEntries({u"Mia@m.org"});
  Entries after_trim, after_list, after_variant;
  std::u16string kept_text, after_variant_text, count_after_variant;
  DWORD selection = 0;
  LRESULT selected_variant = -2;
  WhileOpen([&](HWND dialog) {
    AddTyped(dialog, u"  ann@a.org  ");
    after_trim = WorkingList(dialog);

    AddTyped(dialog, u"x@y.z w@v.u");
    after_list = WorkingList(dialog);
    kept_text = ItemText(dialog, IDC_ADDRESS_ENTRY);
    selection = static_cast<DWORD>(SendDlgItemMessageW(dialog, IDC_ADDRESS_ENTRY, EM_GETSEL, 0, 0));
    SetDlgItemTextW(dialog, IDC_ADDRESS_ENTRY, u"");

    AddTyped(dialog, u"MIA@M.ORG");
    after_variant = WorkingList(dialog);
    selected_variant = Selected(dialog);
    after_variant_text = ItemText(dialog, IDC_ADDRESS_ENTRY);
    count_after_variant = ItemText(dialog, IDC_ADDRESS_COUNT);
    PressEscape(dialog);
  });
  RunAddressBookDialog(owner_);
  EXPECT_EQ(after_trim, (Entries{u"ann@a.org", u"Mia@m.org"}));
  EXPECT_EQ(after_list, after_trim);
  EXPECT_EQ(kept_text, u"x@y.z w@v.u");
  EXPECT_EQ(LOWORD(selection), 0);
  EXPECT_EQ(HIWORD(selection), 11);
  EXPECT_EQ(after_variant, after_trim);
  EXPECT_EQ(selected_variant, 1);
  EXPECT_EQ(after_variant_text, u"");
  EXPECT_EQ(count_after_variant, u"(2 addresses)");
  EXPECT_TRUE(murmel::testing::MessageBoxesShown().empty());
}

TEST_F(AddressBookDialogTest, DelRemovesTheSelectionAndSelectsWhatFollowed) {
  SetEntries({u"a@a.a", u"b@b.b", u"c@c.c"});
  Entries untouched, after_middle, after_last;
  LRESULT selected_after_middle = -2, selected_after_last = -2;
  std::u16string count_after_last;
  WhileOpen([&](HWND dialog) {
    Click(GetDlgItem(dialog, IDC_ADDRESS_DELETE));  // nothing selected
    untouched = WorkingList(dialog);

    SendDlgItemMessageW(dialog, IDC_ADDRESS_LIST, LB_SETCURSEL, 1, 0);
    Click(GetDlgItem(dialog, IDC_ADDRESS_DELETE));
    after_middle = WorkingList(dialog);
    selected_after_middle = Selected(dialog);

    Click(GetDlgItem(dialog, IDC_ADDRESS_DELETE));  // c, now the last entry
    after_last = WorkingList(dialog);
    selected_after_last = Selected(dialog);
    count_after_last = ItemText(dialog, IDC_ADDRESS_COUNT);
    PressEscape(dialog);
  });
  RunAddressBookDialog(owner_);
  EXPECT_EQ(untouched, (Entries{u"a@a.a", u"b@b.b", u"c@c.c"}));
  EXPECT_EQ(after_middle, (Entries{u"a@a.a", u"c@c.c"}));
  EXPECT_EQ(selected_after_middle, 1);
  EXPECT_EQ(after_last, (Entries{u"a@a.a"}));
  EXPECT_EQ(selected_after_last, LB_ERR);
  EXPECT_EQ(count_after_last, u"(1 address)");
}

TEST_F(AddressBookDialogTest,
       OkWithoutChangeSortsTheRecipientsEmptiesTheTypedTextAndTheFileFollows) {
  SetEntries({u"zed@z.org", u"Amy@a.org", u"bob@b.org"});
  SetWindowTextW(box_, u"typed@t.org, par");
  WhileOpen([](HWND) { ClickDone(); });
  // What the address book command does with the result.
  if (RunAddressBookDialog(owner_) == 1) SaveAddressBook(box_);
  EXPECT_EQ(ListEntries(), (Entries{u"Amy@a.org", u"bob@b.org", u"zed@z.org"}));
  EXPECT_EQ(GetWindowTextLengthW(box_), 0);
  EXPECT_EQ(device_.Read("CEVireoRec.arr"),
            Utf16Bytes(u"[Address]\r\ncount=3\r\naddress0=Amy@a.org\r\n"
                       u"address1=bob@b.org\r\naddress2=zed@z.org\r\n"));
}

TEST_F(AddressBookDialogTest, CancelAfterEditsLeavesTheRecipientsAndTheFileAlone) {
  SetEntries({u"zed@z.org", u"Amy@a.org"});
  SetWindowTextW(box_, u"typed@t.org");
  SaveAddressBook(box_);
  const std::string saved = device_.Read("CEVireoRec.arr");
  WhileOpen([](HWND dialog) {
    AddTyped(dialog, u"new@n.org");
    SendDlgItemMessageW(dialog, IDC_ADDRESS_LIST, LB_SETCURSEL, 0, 0);
    Click(GetDlgItem(dialog, IDC_ADDRESS_DELETE));
    PressEscape(dialog);
  });
  if (RunAddressBookDialog(owner_) == 1) SaveAddressBook(box_);
  EXPECT_EQ(ListEntries(), (Entries{u"zed@z.org", u"Amy@a.org"}));
  std::u16string typed(32, u'\0');
  typed.resize(static_cast<std::size_t>(GetWindowTextW(box_, typed.data(), 32)));
  EXPECT_EQ(typed, u"typed@t.org");
  EXPECT_EQ(device_.Read("CEVireoRec.arr"), saved);
}

TEST_F(AddressBookDialogTest, EnterAddsWhileTheEntryFieldHasTheFocusAndNothingAfterItLeft) {
  Entries after_enter, after_leaving;
  bool still_open = false;
  WhileOpen([&](HWND dialog) {
    const HWND entry = GetDlgItem(dialog, IDC_ADDRESS_ENTRY);
    Click(entry);
    Type(entry, u"kay@k.org");
    Key(entry, Qt::Key_Return);
    after_enter = WorkingList(dialog);

    Type(entry, u"lou@l.org");
    Click(GetDlgItem(dialog, IDC_ADDRESS_LIST));  // the focus leaves the entry field
    Key(GetFocus(), Qt::Key_Return);
    after_leaving = WorkingList(dialog);
    still_open = IsWindowVisible(dialog) != 0;
    PressEscape(dialog);
  });
  EXPECT_EQ(RunAddressBookDialog(owner_), 0);
  EXPECT_EQ(after_enter, (Entries{u"kay@k.org"}));
  EXPECT_EQ(after_leaving, (Entries{u"kay@k.org"}));
  EXPECT_TRUE(still_open);
  EXPECT_EQ(ListEntries(), Entries{});
}

}  // namespace
