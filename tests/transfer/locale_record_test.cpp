#include "transfer/locale_record.h"

#include <gtest/gtest.h>

#include <string>

#include "support/fake_transfer_server.h"

namespace {

using murmel::test::Bytes;
using murmel::test::ToHex;

std::string Record(DWORD timeZoneResult, LONG bias, UINT codePage, LANGID language,
                   const WCHAR* sex) {
  BYTE record[LOCALE_RECORD_SIZE];
  std::fill(std::begin(record), std::end(record), 0xEE);  // reserved bytes must be written
  BuildLocaleRecord(record, timeZoneResult, bias, codePage, language, sex);
  return ToHex(Bytes(std::begin(record), std::end(record)));
}

TEST(LocaleRecord, MatchesTheWorkedExamples) {
  const struct {
    const char* what;
    DWORD timeZoneResult;
    LONG bias;
    UINT codePage;
    LANGID language;
    const WCHAR* sex;
    const char* record;
  } cases[] = {
      {"UTC+1 in standard time, 1252, en-US, Mr.", 1, -60, 1252, 0x0409, u"Mr.",
       "4C 4F 43 4C 00 00 04 E4 00 FF FF F1 F0 00 00 00 00 09 00 01 00"},
      {"UTC-5 in daylight time, Ms.", 2, 300, 1252, 0x0409, u"Ms.",
       "4C 4F 43 4C 00 00 04 E4 01 00 00 46 50 00 00 00 00 09 00 01 01"},
      {"Japanese, zone without daylight time", 0, -540, 932, 0x0411, u"Mr.",
       "4C 4F 43 4C 00 00 03 A4 00 FF FF 81 70 00 00 00 00 11 00 01 00"},
      // Sub-language is the identifier shifted right by 10: de-CH is 0x0807.
      {"de-CH, failed zone query", TIME_ZONE_ID_INVALID, 0, 1252, 0x0807, u"Mr.",
       "4C 4F 43 4C 00 00 04 E4 00 00 00 00 00 00 00 00 00 07 00 02 00"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Record(c.timeZoneResult, c.bias, c.codePage, c.language, c.sex), c.record) << c.what;
  }
  // Only the exact text "Mr." gives salutation 0.
  for (const WCHAR* sex : {u"Ms.", u"", u"Mr", u"mr.", u"Mr. "}) {
    EXPECT_EQ(Record(1, 0, 1252, 0x0409, sex).substr(60), "01");
  }
}

}  // namespace
