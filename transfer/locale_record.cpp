#include "transfer/locale_record.h"

#include <cstring>

namespace {

void PutBigEndian32(BYTE* at, DWORD value) {
  at[0] = static_cast<BYTE>(value >> 24);
  at[1] = static_cast<BYTE>(value >> 16);
  at[2] = static_cast<BYTE>(value >> 8);
  at[3] = static_cast<BYTE>(value);
}

void PutBigEndian16(BYTE* at, WORD value) {
  at[0] = HIBYTE(value);
  at[1] = LOBYTE(value);
}

}  // namespace

void BuildLocaleRecord(BYTE (&record)[LOCALE_RECORD_SIZE], DWORD timeZoneResult, LONG bias,
                       UINT codePage, LANGID languageId, const WCHAR* sex) {
  std::memset(record, 0, sizeof record);
  std::memcpy(record, "LOCL", 4);
  PutBigEndian32(record + 4, codePage);
  record[8] = timeZoneResult == TIME_ZONE_ID_DAYLIGHT ? 1 : 0;
  // Seconds, two's complement; only Bias counts, not the standard or daylight bias.
  PutBigEndian32(record + 9, static_cast<DWORD>(bias * 60));
  // Bytes 13 to 15 stay reserved zeros.
  PutBigEndian16(record + 16, static_cast<WORD>(languageId & 0x3FF));
  PutBigEndian16(record + 18, static_cast<WORD>(languageId >> 10));
  record[20] = (sex != nullptr && wcscmp(sex, u"Mr.") == 0) ? 0 : 1;
}
