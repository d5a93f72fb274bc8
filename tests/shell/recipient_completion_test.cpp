// Type-ahead in the recipient box, typed key by key into the running client.
#include <QtCore/qnamespace.h>

#include <string>
#include <vector>

#include "shell/running_client.h"

namespace shell_test {
namespace {

// One typing action: text typed, or a single key by its Qt code.
struct Keystrokes {
  std::u16string text;
  int key = 0;
};

struct CompletionCase {
  const char* name;
  std::vector<std::u16string> list;  // in the order the addresses were added
  std::vector<Keystrokes> typing;
  std::u16string text;  // what the box then holds
  int selStart;
  int selEnd;
};

class RecipientCompletionTest : public RunningClientTest {};

TEST_F(RecipientCompletionTest, CompletesOnlyTheWordBeingTypedAtItsEnd) {
  const std::vector<std::u16string> book = {u"zoe@first.org", u"anna@example.org",
                                            u"bob@example.org"};
  const CompletionCase cases[] = {
      {"first letter selects the rest of the entry", book, {{u"a"}}, u"anna@example.org", 1, 16},
      {"next letter completes again to the same entry",
       book,
       {{u"an"}},
       u"anna@example.org",
       2,
       16},
      {"backspace removes the tail and does not complete again",
       book,
       {{u"an"}, {u"", Qt::Key_Backspace}},
       u"an",
       2,
       2},
      {"no completion with the caret inside a word",
       book,
       {{u"xz"}, {u"", Qt::Key_Left}, {u"b"}},
       u"xbz",
       2,
       2},
      {"only the second address after a comma is completed",
       book,
       {{u"anna@example.org, b"}},
       u"anna@example.org, bob@example.org",
       19,
       33},
      {"a typed separator ends the word",
       book,
       {{u"bob@example.org;"}},
       u"bob@example.org;",
       16,
       16},
      {"no match leaves the typing alone", book, {{u"q"}}, u"q", 1, 1},
      {"earlier item wins",
       {u"x@x.org", u"andy@two.org", u"anna@three.org"},
       {{u"an"}},
       u"andy@two.org",
       2,
       12},
      {"first item is tried last",
       {u"anna@first.org", u"bert@x.org", u"andy@third.org"},
       {{u"an"}},
       u"andy@third.org",
       2,
       14},
      {"first item still matches when nothing else does",
       {u"amy@first.org", u"bert@x.org"},
       {{u"a"}},
       u"amy@first.org",
       1,
       13},
      {"completion takes the item's letter case",
       {u"x@x.org", u"Anna@Example.org"},
       {{u"AN"}},
       u"Anna@Example.org",
       2,
       16},
  };
  const HWND box = MainControl(IDC_RECIPIENTS);
  for (const CompletionCase& c : cases) {
    SCOPED_TRACE(c.name);
    ResetForm();
    SendMessageW(box, CB_RESETCONTENT, 0, 0);
    for (const std::u16string& item : c.list) {
      SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
    SetFocus(box);
    for (const Keystrokes& keys : c.typing) {
      if (keys.key != 0) {
        murmel::testing::Key(box, keys.key);
      } else {
        murmel::testing::Type(box, keys.text.c_str());
      }
      PumpPending();
    }
    EXPECT_EQ(WindowText(box), c.text);
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(box, CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, static_cast<DWORD>(c.selStart));
    EXPECT_EQ(end, static_cast<DWORD>(c.selEnd));
  }
}

TEST_F(RecipientCompletionTest, ListSelectionOrLostFocusForgetsTheRememberedCaret) {
  const HWND box = MainControl(IDC_RECIPIENTS);
  SetFocus(box);
  murmel::testing::Type(box, u"zz");
  PumpPending();
  ASSERT_EQ(appState.toSelStart, 2);
  SetFocus(MainControl(IDC_SUBJECT));
  PumpPending();
  EXPECT_EQ(appState.toSelStart, 0);
}

}  // namespace
}  // namespace shell_test
