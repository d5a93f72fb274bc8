// Type-ahead in the recipient box, typed key by key into the running client.
#include <QtCore/qnamespace.h>

#include <string>
#include <vector>

#include "shell/running_client.h"

namespace shell_test {
namespace {

class RecipientCompletionTest : public RunningClientTest {};

// Typed key by key; '\b' is Backspace and '<' the left arrow key.
TEST_F(RecipientCompletionTest, CompletesOnlyTheWordBeingTypedAtItsEnd) {
  using List = std::vector<std::u16string>;
  const List book = {u"zoe@first.org", u"anna@example.org", u"bob@example.org"};
  const struct {
    const char* name;
    List list;  // in the order the addresses were added
    std::u16string typing;
    std::u16string text;  // what the box then holds
    DWORD selStart;
    DWORD selEnd;
  } cases[] = {
      {"first letter selects the rest of the entry", book, u"a", u"anna@example.org", 1, 16},
      {"next letter completes again to the same entry", book, u"an", u"anna@example.org", 2, 16},
      {"backspace removes the tail and does not complete again", book, u"an\b", u"an", 2, 2},
      {"no completion with the caret inside a word", book, u"xz<b", u"xbz", 2, 2},
      {"only the second address after a comma is completed", book, u"anna@example.org, b",
       u"anna@example.org, bob@example.org", 19, 33},
      {"a typed separator ends the word", book, u"bob@example.org;", u"bob@example.org;", 16, 16},
      {"no match leaves the typing alone", book, u"q", u"q", 1, 1},
      {"earlier item wins",
       {u"x@x.org", u"andy@two.org", u"anna@three.org"},
       u"an",
       u"andy@two.org",
       2,
       12},
      {"first item is tried last",
       {u"anna@first.org", u"bert@x.org", u"andy@third.org"},
       u"an",
       u"andy@third.org",
       2,
       14},
      {"first item still matches when nothing else does",
       {u"amy@first.org", u"bert@x.org"},
       u"a",
       u"amy@first.org",
       1,
       13},
      {"completion takes the item's letter case",
       {u"x@x.org", u"Anna@Example.org"},
       u"AN",
       u"Anna@Example.org",
       2,
       16},
  };
  const HWND box = MainControl(IDC_RECIPIENTS);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResetForm();
    SendMessageW(box, CB_RESETCONTENT, 0, 0);
    for (const std::u16string& item : c.list) {
      SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
    SetFocus(box);
    for (const char16_t key : c.typing) {
      if (key == u'\b' || key == u'<') {
        murmel::testing::Key(box, key == u'<' ? Qt::Key_Left : Qt::Key_Backspace);
      } else {
        const char16_t typed[] = {key, 0};
        murmel::testing::Type(box, typed);
      }
      PumpPending();
    }
    EXPECT_EQ(WindowText(box), c.text);
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(box, CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, c.selStart);
    EXPECT_EQ(end, c.selEnd);
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
