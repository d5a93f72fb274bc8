#include "userdata/key_value.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ReadKeyValueTest, FindsTheFirstOccurrenceAnywhereAndReadsToTheCarriageReturn) {
  const struct {
    const char* why;
    const char16_t* fileText;
    const char16_t* key;
    int expectedResult;
    const char16_t* expectedValue;  // destination starts as "untouched"
  } cases[] = {
      {"plain line", u"[Address]\r\ncount=3\r\naddress0=a@b\r\n", u"count=", 1, u"3"},
      {"last line without CR LF", u"count=12", u"count=", 1, u"12"},
      {"empty value", u"count=\r\nx=1\r\n", u"count=", 1, u""},
      {"missing key", u"address0=a@b\r\n", u"count=", 0, u"untouched"},
      {"case-sensitive", u"Count=2\r\n", u"count=", 0, u"untouched"},
      {"the = must follow", u"address10=ten\r\naddress1=one\r\n", u"address1=", 1, u"one"},
      {"inside another value", u"name=count=7\r\ncount=2\r\n", u"count=", 1, u"7"},
      {"only CR ends it", u"a=x\ny\tz w\rrest", u"a=", 1, u"x\ny\tz w"},
      {"key at the very end", u"x=1\r\na=", u"a=", 1, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    Text<260> value(u"untouched");
    EXPECT_EQ(ReadKeyValue(c.fileText, c.key, value), c.expectedResult);
    EXPECT_EQ(std::u16string(value.data()), std::u16string(c.expectedValue));
  }
}

TEST(ReadKeyValueTest, LongValuesAreCutToWhatTheDestinationHolds) {
  const std::u16string file = u"email=" + std::u16string(400, u'e') + u"\r\nname=n\r\n";
  WCHAR wide[400] = {};
  EXPECT_EQ(ReadKeyValue(file.c_str(), u"email=", wide), 1);
  EXPECT_EQ(std::u16string(wide), std::u16string(KEY_VALUE_MAX_LENGTH, u'e'));

  Text<10> sex;  // the smallest profile field
  EXPECT_EQ(ReadKeyValue(file.c_str(), u"email=", sex), 1);
  EXPECT_EQ(std::u16string(sex.data()), std::u16string(9, u'e'));

  // Nothing is written past the capacity given.
  WCHAR guarded[6] = {u'x', u'x', u'x', u'x', u'x', u'#'};
  EXPECT_EQ(ReadKeyValue(file.c_str(), u"email=", guarded, 5), 1);
  EXPECT_EQ(std::u16string(guarded, 6), (std::u16string{u'e', u'e', u'e', u'e', 0, u'#'}));
}

}  // namespace
