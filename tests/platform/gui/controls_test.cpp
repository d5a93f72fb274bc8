#include <commctrl.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QWidget>

#include "gui_test_support.h"

namespace gui_test {
namespace {

using murmel::testing::Key;
using murmel::testing::Type;
using murmel::testing::WidgetOf;

TEST_F(GuiTest, ClickingEnabledPushAndRadioButtonsSendsClickedWithTheirIds) {
  const HWND push = Child(u"button", BS_PUSHBUTTON, 30011, 10, 10, 60, 24, u"Option");
  const HWND first = Child(u"button", BS_AUTORADIOBUTTON, 101, 10, 40, 100, 20, u"Mr.");
  const HWND second = Child(u"button", BS_AUTORADIOBUTTON, 102, 10, 60, 100, 20, u"Ms.");
  const HWND disabled = Child(u"button", BS_PUSHBUTTON, 30009, 10, 90, 60, 24, u"Off");
  EnableWindow(disabled, FALSE);
  for (HWND button : {disabled, push, second, first}) murmel::testing::Click(button);
  EXPECT_EQ(CommandsTo(top_),
            (std::vector<Command>{{30011, BN_CLICKED}, {102, BN_CLICKED}, {101, BN_CLICKED}}));
  EXPECT_EQ(Log().back().lParam, reinterpret_cast<LPARAM>(first));  // the control's handle
  // Automatic radio buttons check themselves and clear their siblings.
  EXPECT_EQ(SendMessageW(first, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageW(second, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  SendMessageW(second, BM_SETCHECK, BST_CHECKED, 0);
  EXPECT_EQ(SendMessageW(first, BM_GETCHECK, 0, 0), BST_UNCHECKED);
}

// The parent draws the button: the recording procedure paints it black.
TEST_F(GuiTest, OwnerDrawnButtonIsDrawnByItsParentWithPressedAndDisabledStates) {
  const HWND button = Child(u"button", BS_OWNERDRAW, 30007, 20, 20, 43, 43);
  // Paints the button afresh and answers the state bits of the one draw request.
  const auto drawn_state = [this, button] {
    Log().clear();
    WidgetOf(button)->repaint();
    EXPECT_EQ(ParamsOf(top_, WM_DRAWITEM), std::vector<WPARAM>{30007});
    return Log().empty() ? 0xFFFF : Log().back().draw.itemState & (ODS_SELECTED | ODS_DISABLED);
  };
  EXPECT_EQ(drawn_state(), 0u);
  const DRAWITEMSTRUCT drawn = Log().back().draw;
  EXPECT_EQ(drawn.hwndItem, button);
  EXPECT_EQ(drawn.CtlType, static_cast<UINT>(ODT_BUTTON));
  EXPECT_EQ(EdgesOf(drawn.rcItem), (Edges{0, 0, 43, 43}));
  EXPECT_EQ(WidgetOf(button)->grab().toImage().pixelColor(21, 21), QColor(Qt::black));
  murmel::testing::Press(button);
  EXPECT_EQ(drawn_state(), UINT{ODS_SELECTED});
  murmel::testing::Release(button);
  EXPECT_EQ(CommandsTo(top_), (std::vector<Command>{{30007, BN_CLICKED}}));
  EXPECT_EQ(drawn_state(), 0u);
  EnableWindow(button, FALSE);
  EXPECT_EQ(drawn_state(), UINT{ODS_DISABLED});
}

TEST_F(GuiTest, EditableComboNotifiesTypingAndChoosingButNotTextSetByTheProgram) {
  const HWND combo = Child(u"COMBOBOX", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP,
                           60000, 70, 114, 160, 100);
  const HWND subject = Child(u"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, 60001, 70, 136, 160, 20);
  SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"anna@example.org"));
  EXPECT_EQ(TextOf(combo), u"");  // adding items leaves the edit alone
  SetFocus(combo);
  Log().clear();
  Key(combo, Qt::Key_Down);
  EXPECT_EQ(TextOf(combo), u"anna@example.org");
  Type(combo, u"ab");
  ASSERT_TRUE(SetWindowTextW(combo, u"set by program"));
  EXPECT_EQ(CommandsTo(top_),
            (std::vector<Command>{
                {60000, CBN_SELCHANGE}, {60000, CBN_EDITCHANGE}, {60000, CBN_EDITCHANGE}}));
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(TextOf(combo), u"set by program");

  Log().clear();
  SetFocus(subject);
  const auto commands = CommandsTo(top_);
  ASSERT_GE(commands.size(), 2u);
  EXPECT_EQ(commands.front(), (Command{60000, CBN_KILLFOCUS}));
  EXPECT_EQ(commands.back(), (Command{60001, EN_SETFOCUS}));
}

// Typing replaces the selection, as the address book's entry field relies on. The combo's
// selection is checked by the client's recipient completion tests.
TEST_F(GuiTest, EditSelectionIsSetReadBackAndReplacedByTyping) {
  const HWND edit = Child(u"EDIT", ES_AUTOHSCROLL, 60001, 70, 114, 160, 20);
  // The answer of EM_GETSEL and the two ends it wrote.
  const auto expect_selection = [edit](int start, int end) {
    DWORD ends[2] = {0, 0};
    EXPECT_EQ(SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&ends[0]),
                           reinterpret_cast<LPARAM>(&ends[1])),
              MAKELONG(start, end));
    EXPECT_EQ(ends[0], DWORD(start));
    EXPECT_EQ(ends[1], DWORD(end));
  };
  SetWindowTextW(edit, u"anna@example.org");
  SetFocus(edit);
  SendMessageW(edit, EM_SETSEL, 0, -1);  // everything
  expect_selection(0, 16);
  SendMessageW(edit, EM_SETSEL, 1, 16);
  Log().clear();
  Type(edit, u"nb");
  EXPECT_EQ(TextOf(edit), u"anb");
  expect_selection(3, 3);
  EXPECT_EQ(CommandsTo(top_), (std::vector<Command>{{60001, EN_CHANGE}, {60001, EN_CHANGE}}));
}

TEST_F(GuiTest, MultiLineEditTakesEnterAsALineBreakWithCrLf) {
  const HWND text =
      Child(u"EDIT", ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL, 60002, 10, 158, 220, 80);
  SetFocus(text);
  Type(text, u"one");
  Key(text, Qt::Key_Return);
  Type(text, u"two");
  EXPECT_EQ(TextOf(text), u"one\r\ntwo");
  SetWindowTextW(text, u"a\r\nb");
  EXPECT_EQ(TextOf(text), u"a\r\nb");
}

// A word wider than a one-line label is drawn smaller, not cut off; a label with room for
// more lines wraps in the normal size.
TEST_F(GuiTest, OneLineLabelShrinksItsTextToFitAndTallLabelWraps) {
  const int normal = QFontInfo(WidgetOf(top_)->font()).pixelSize();
  const HWND narrow = Child(u"STATIC", SS_LEFT, 1, 5, 5, 52, 12, u"Murmelpost");
  const QFont shrunk = WidgetOf(narrow)->font();
  EXPECT_LT(QFontInfo(shrunk).pixelSize(), normal);
  EXPECT_LT(QFontMetrics(shrunk).horizontalAdvance(QStringLiteral("Murmelpost")), 52);
  SetWindowTextW(narrow, u"Mu");  // short text: back to the normal size
  EXPECT_EQ(QFontInfo(WidgetOf(narrow)->font()).pixelSize(), normal);
  const HWND tall = Child(u"STATIC", SS_LEFT, 2, 5, 30, 40, 60, u"Murmelpost sends voice");
  EXPECT_EQ(QFontInfo(WidgetOf(tall)->font()).pixelSize(), normal);
}

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

// The combo's list as the client fills, reads, selects by prefix and empties it.
TEST_F(GuiTest, ComboItemsAreAddedReadSelectedByPrefixAndReset) {
  const HWND combo = Child(u"COMBOBOX", CBS_DROPDOWN, 60000, 70, 114, 160, 100);
  for (const WCHAR* item : {u"zed", u"amy", u"last"})
    SendMessageW(combo, CB_ADDSTRING, 0, Text(item));
  EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 3);
  WCHAR item[16];
  EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXT, 1, Text(item)), 3);  // unsorted: in the order added
  EXPECT_EQ(std::u16string(item), u"amy");
  EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXTLEN, 2, 0), 4);
  EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXTLEN, 3, 0), CB_ERR);
  EXPECT_EQ(SendMessageW(combo, CB_SELECTSTRING, static_cast<WPARAM>(-1), Text(u"LA")), 2);
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 2);
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
  // Searches see the items where they stand after a delete.
  EXPECT_EQ(SendMessageW(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), Text(u"MIKE")), 1);
}

}  // namespace
}  // namespace gui_test
