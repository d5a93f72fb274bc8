#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <ctime>
#include <string>

#include "platform/core/time_zone.h"
#include "support/scoped_env.h"

namespace {

using murmel::core::TimeZoneAt;
using murmel::test::ScopedEnv;

std::time_t Utc(int year, int month, int day, int hour = 12, int minute = 0, int second = 0) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return timegm(&t);
}

// A change as "n-th Sunday of the month (5 = the last) at this wall-clock hour of the old
// offset": month, week, hour; all zero when the zone has no daylight time.
using Change = std::array<WORD, 3>;

Change ChangeOf(const SYSTEMTIME& date) {
  EXPECT_EQ(date.wYear + date.wDayOfWeek + date.wMinute + date.wSecond, 0);
  return {date.wMonth, date.wDay, date.wHour};
}

// One row per rule: northern and southern daylight time, Dublin whose tzdata "daylight" is
// its winter, a half-hour daylight shift, and a zone without daylight time.
TEST(TimeZone, BiasResultAndChangeDatesFollowTheZoneRules) {
  struct Case {
    const char* zone;
    LONG bias, daylight_bias;
    DWORD in_january, in_july;
    Change to_daylight, to_standard;
  };
  constexpr DWORD kStandard = TIME_ZONE_ID_STANDARD;
  constexpr DWORD kDaylight = TIME_ZONE_ID_DAYLIGHT;
  const Case cases[] = {
      {"America/New_York", 300, -60, kStandard, kDaylight, {3, 2, 2}, {11, 1, 2}},
      {"Europe/Dublin", 0, -60, kStandard, kDaylight, {3, 5, 1}, {10, 5, 2}},
      {"Australia/Adelaide", -570, -60, kDaylight, kStandard, {10, 1, 2}, {4, 1, 3}},
      {"Australia/Lord_Howe", -630, -30, kDaylight, kStandard, {10, 1, 2}, {4, 1, 2}},
      {"Asia/Kolkata", -330, 0, TIME_ZONE_ID_UNKNOWN, TIME_ZONE_ID_UNKNOWN, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.zone);
    ScopedEnv zone("TZ", c.zone);
    TIME_ZONE_INFORMATION info;
    EXPECT_EQ(TimeZoneAt(Utc(2024, 1, 20), info), c.in_january);
    EXPECT_EQ(TimeZoneAt(Utc(2024, 7, 20), info), c.in_july);
    EXPECT_EQ(info.Bias, c.bias);
    EXPECT_EQ(info.StandardBias, 0);
    EXPECT_EQ(info.DaylightBias, c.daylight_bias);
    EXPECT_EQ(ChangeOf(info.DaylightDate), c.to_daylight);
    EXPECT_EQ(ChangeOf(info.StandardDate), c.to_standard);
  }
}

// New York moved to daylight time at 2024-03-10 07:00 UTC; names come from the zone's
// abbreviations.
TEST(TimeZone, ResultTurnsAtTheChangeItselfAndNamesFollowTheZone) {
  ScopedEnv zone("TZ", "America/New_York");
  TIME_ZONE_INFORMATION info;
  EXPECT_EQ(TimeZoneAt(Utc(2024, 3, 10, 6, 59, 59), info), TIME_ZONE_ID_STANDARD);
  EXPECT_EQ(TimeZoneAt(Utc(2024, 3, 10, 7, 0, 0), info), TIME_ZONE_ID_DAYLIGHT);
  EXPECT_EQ(std::u16string(info.StandardName), u"EST");
  EXPECT_EQ(std::u16string(info.DaylightName), u"EDT");
}

// The public call answers for now, in the zone TZ names at the time of the call.
TEST(TimeZone, GetTimeZoneInformationAnswersForNow) {
  ScopedEnv zone("TZ", "Asia/Kolkata");
  TIME_ZONE_INFORMATION info;
  EXPECT_EQ(GetTimeZoneInformation(&info), static_cast<DWORD>(TIME_ZONE_ID_UNKNOWN));
  EXPECT_EQ(info.Bias, -330);
  EXPECT_EQ(GetTimeZoneInformation(nullptr), TIME_ZONE_ID_INVALID);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
