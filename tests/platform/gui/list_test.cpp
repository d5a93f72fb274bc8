#include <Qt>

#include "gui_test_support.h"

namespace gui_test {
namespace {

LPARAM Text(const WCHAR* text) { return reinterpret_cast<LPARAM>(text); }

struct FindCase {
  const char* name;
  bool exact;
  int start_after;
  const WCHAR* text;
  LRESULT expected;
};

// Items: 0 anna@a.org, 1 Bert@b.org, 2 bertha@c.org, 3 carl@d.org
const FindCase kFindCases[] = {
    {"prefix from the top", false, -1, u"bert", 1},
    {"prefix ignores case", false, -1, u"BERTH", 2},
    {"starts after the index", false, 1, u"bert", 2},
    {"wraps round to earlier items", false, 2, u"bert", 1},
    {"wraps to the first item last", false, 0, u"an", 0},
    {"no match", false, -1, u"dora", CB_ERR},
    {"exact needs the whole text", true, -1, u"bert", CB_ERR},
    {"exact ignores case", true, -1, u"BERT@B.ORG", 1},
    {"exact wraps too", true, 3, u"anna@a.org", 0},
    {"out-of-range start searches everything", false, 9, u"carl", 3},
};

TEST_F(GuiTest, ComboFindsByPrefixOrWholeTextStartingAfterAnIndexAndWrapping) {
  const struct {
    HWND box;
    UINT add, prefix, exact;
  } boxes[] = {
      {Child(u"COMBOBOX", CBS_DROPDOWN, 60000, 70, 114, 160, 100), CB_ADDSTRING, CB_FINDSTRING,
       CB_FINDSTRINGEXACT},
      {Child(u"LISTBOX", LBS_NOTIFY, 61000, 10, 10, 100, 80), LB_ADDSTRING, LB_FINDSTRING,
       LB_FINDSTRINGEXACT},
  };
  for (const auto& b : boxes) {
    for (const WCHAR* item : {u"anna@a.org", u"Bert@b.org", u"bertha@c.org", u"carl@d.org"})
      SendMessageW(b.box, b.add, 0, Text(item));
    for (const FindCase& c : kFindCases) {
      EXPECT_EQ(SendMessageW(b.box, c.exact ? b.exact : b.prefix,
                             static_cast<WPARAM>(c.start_after), Text(c.text)),
                c.expected)
          << c.name << " in " << b.add;
    }
  }
}

TEST_F(GuiTest, ComboItemsAreAddedInsertedReadAndDeleted) {
  const HWND combo = Child(u"COMBOBOX", CBS_DROPDOWN, 60000, 70, 114, 160, 100);
  EXPECT_EQ(SendMessageW(combo, CB_ADDSTRING, 0, Text(u"zed")), 0);
  EXPECT_EQ(SendMessageW(combo, CB_ADDSTRING, 0, Text(u"amy")), 1);  // unsorted: at the end
  EXPECT_EQ(SendMessageW(combo, CB_INSERTSTRING, 0, Text(u"first")), 0);
  EXPECT_EQ(SendMessageW(combo, CB_INSERTSTRING, static_cast<WPARAM>(-1), Text(u"last")), 3);
  EXPECT_EQ(SendMessageW(combo, CB_INSERTSTRING, 9, Text(u"beyond")), CB_ERR);
  EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 4);
  EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXTLEN, 1, 0), 3);
  WCHAR item[16];
  EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXT, 2, Text(item)), 3);
  EXPECT_EQ(std::u16string(item), u"amy");
  EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(-1), 0), CB_ERR);
  EXPECT_EQ(SendMessageW(combo, CB_DELETESTRING, 0, 0), 3);
  // Searches see the items where they stand after an insert and a delete.
  EXPECT_EQ(SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), Text(u"AMY")), 1);
  EXPECT_EQ(SendMessageW(combo, CB_DELETESTRING, 3, 0), CB_ERR);
  EXPECT_EQ(SendMessageW(combo, CB_SETCURSEL, 1, 0), 1);
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(SendMessageW(combo, CB_SELECTSTRING, static_cast<WPARAM>(-1), Text(u"LA")), 2);
  EXPECT_EQ(GetWindowTextLengthW(combo), 4);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(GetWindowTextLengthW(combo), 0);
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), CB_ERR);
}

TEST_F(GuiTest, SortedListInsertsAlphabeticallyIgnoringCaseAndTellsOnlyTheUsersChoice) {
  const HWND list = Child(u"LISTBOX", LBS_SORT | LBS_NOTIFY, 61000, 10, 10, 100, 80);
  EXPECT_EQ(SendMessageW(list, LB_ADDSTRING, 0, Text(u"Mike")), 0);
  EXPECT_EQ(SendMessageW(list, LB_ADDSTRING, 0, Text(u"alice")), 0);
  EXPECT_EQ(SendMessageW(list, LB_ADDSTRING, 0, Text(u"Bob")), 1);
  EXPECT_EQ(SendMessageW(list, LB_ADDSTRING, 0, Text(u"zoe")), 3);
  WCHAR item[16];
  SendMessageW(list, LB_GETTEXT, 2, Text(item));
  EXPECT_EQ(std::u16string(item), u"Mike");
  EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), LB_ERR);
  Log().clear();
  EXPECT_EQ(SendMessageW(list, LB_SETCURSEL, 1, 0), 1);
  EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 1);
  EXPECT_TRUE(CommandsTo(top_).empty());  // the program's own selection is silent
  SetFocus(list);
  Log().clear();
  murmel::testing::Key(list, Qt::Key_Down);  // the user's is told
  EXPECT_EQ(CommandsTo(top_), std::vector<Command>{(Command{61000, LBN_SELCHANGE})});
  EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(SendMessageW(list, LB_DELETESTRING, 0, 0), 3);
  EXPECT_EQ(SendMessageW(list, LB_GETTEXTLEN, 0, 0), 3);
  // An item inserted out of order: adding goes before the first item sorting after it.
  EXPECT_EQ(SendMessageW(list, LB_INSERTSTRING, 0, Text(u"zz")), 0);
  EXPECT_EQ(SendMessageW(list, LB_ADDSTRING, 0, Text(u"carl")), 0);
}

}  // namespace
}  // namespace gui_test
