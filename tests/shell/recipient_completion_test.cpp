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
      {"backspace removes the tail and does not complete again", book, u"an\b", u"an", 2, 2},
      {"no completion with the caret inside a word", book, u"xz<b", u"xbz", 2, 2},
      {"only the second address after a comma is completed", book, u"anna@example.org, b",
       u"anna@example.org, bob@example.org", 19, 33},
      {"a typed separator ends the word", book, u"bob@example.org;", u"bob@example.org;", 16, 16},
      {"no match leaves the typing alone", book, u"q", u"q", 1, 1},
      {"earlier item wins", {u"x@x", u"andy@t", u"anna@t"}, u"an", u"andy@t", 2, 6},
      {"first item is tried last", {u"anna@f", u"b@x", u"andy@t"}, u"an", u"andy@t", 2, 6},
      {"first item still matches alone", {u"amy@f", u"b@x"}, u"a", u"amy@f", 1, 5},
      {"completion takes the item's case", {u"x@x", u"Anna@E"}, u"AN", u"Anna@E", 2, 6},
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

}  // namespace
}  // namespace shell_test
