#include "userdata/email_address.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ValidateEmailTest, TestsOnlyTheFirstAtAndNormalisesSeparatorsIntoSingleCommas) {
  const struct {
    const char16_t* input;
    int allowList;
    int expectedResult;
    const char16_t* expectedText;  // what the text holds afterwards
  } cases[] = {
      // Refused: no usable first "@".
      {u"", 1, 0, u""},
      {u"a@", 0, 0, u"a@"},    // two characters
      {u"abc", 0, 0, u"abc"},  // no "@"
      {u"@ab", 0, 0, u"@ab"},  // "@" first
      {u"ab@", 1, 0, u"ab@"},  // "@" last
      // Accepted: nothing more is checked.
      {u"a@b", 0, 1, u"a@b"},      // shortest address
      {u"a@b@", 0, 1, u"a@b@"},    // a later "@" last is not looked at
      {u"a\t@b", 0, 1, u"a\t@b"},  // tabs are ordinary characters
      {u" @a", 0, 1, u"@a"},       // the raw text is tested, not the trimmed one
      // Two blanks before, blank-semicolon-blank between, two semicolons and a blank after.
      {u"  ann@x.org ; bob@y.org;; ", 1, 1, u"ann@x.org,bob@y.org"},
      {u"  ann@x.org ; bob@y.org;; ", 0, 0, u"  ann@x.org ; bob@y.org;; "},
      {u" ann@x.org ", 0, 1, u"ann@x.org"},
      {u"ann@x.org, word", 1, 1, u"ann@x.org,word"},  // "@" is tested on the whole text only
      {u",,,a@b,,,", 0, 1, u"a@b"},
      {u"a@b c", 0, 0, u"a@b c"},  // an inner blank makes a list
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.input, c.input + std::char_traits<char16_t>::length(c.input)) +
                 " allowList=" + std::to_string(c.allowList));
    WCHAR text[1024] = {};
    std::u16string(c.input).copy(text, 1023);
    EXPECT_EQ(ValidateEmail(text, c.allowList), c.expectedResult);
    EXPECT_EQ(std::u16string(text), std::u16string(c.expectedText));
  }
}

TEST(ValidateEmailTest, TextsLongerThanTheRecipientFieldAreRefused) {
  std::u16string longest = u"a@" + std::u16string(EMAIL_TEXT_MAX_LENGTH - 2, u'b');
  std::u16string tooLong = longest + u"b";
  std::u16string buffer = longest;
  EXPECT_EQ(ValidateEmail(buffer.data(), 0), 1);
  buffer = tooLong;
  EXPECT_EQ(ValidateEmail(buffer.data(), 0), 0);
  EXPECT_EQ(buffer, tooLong);
}

}  // namespace
