#include <windows.h>

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <tuple>
#include <utility>

#include "platform/core/time_zone.h"
#include "support/scoped_env.h"

namespace {

// The platform reads TZ afresh on every call.
struct ScopedTimeZone : murmel::test::ScopedEnv {
  explicit ScopedTimeZone(const char* zone) : ScopedEnv("TZ", zone) {}
};

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

std::u16string Str(const WCHAR* text) { return text; }

struct ZoneCase {
  const char* zone;
  LONG bias;
  LONG daylight_bias;
  DWORD in_january;
  DWORD in_july;
};

// Northern zones are in daylight time in July, southern ones in January; Dublin's winter
// is its tzdata "daylight" time, yet for the platform its summer is.
TEST(TimeZone, BiasAndDaylightResultInWinterAndSummer) {
  const ZoneCase cases[] = {
      {"America/New_York", 300, -60, TIME_ZONE_ID_STANDARD, TIME_ZONE_ID_DAYLIGHT},
      {"Europe/Dublin", 0, -60, TIME_ZONE_ID_STANDARD, TIME_ZONE_ID_DAYLIGHT},
      {"Australia/Adelaide", -570, -60, TIME_ZONE_ID_DAYLIGHT, TIME_ZONE_ID_STANDARD},
      {"Australia/Lord_Howe", -630, -30, TIME_ZONE_ID_DAYLIGHT, TIME_ZONE_ID_STANDARD},
      {"Asia/Kolkata", -330, 0, TIME_ZONE_ID_UNKNOWN, TIME_ZONE_ID_UNKNOWN},
  };
  for (const ZoneCase& c : cases) {
    SCOPED_TRACE(c.zone);
    ScopedTimeZone zone(c.zone);
    for (const auto& [instant, expected] :
         {std::pair{Utc(2024, 1, 20), c.in_january}, std::pair{Utc(2024, 7, 20), c.in_july}}) {
      TIME_ZONE_INFORMATION info;
      EXPECT_EQ(murmel::core::TimeZoneAt(instant, info), expected);
      EXPECT_EQ(info.Bias, c.bias);
      EXPECT_EQ(info.StandardBias, 0);
      EXPECT_EQ(info.DaylightBias, c.daylight_bias);
    }
  }
}

bool SameChange(const SYSTEMTIME& date, WORD month, WORD week, WORD hour, WORD minute) {
  return date.wYear == 0 && date.wMonth == month && date.wDayOfWeek == 0 && date.wDay == week &&
         date.wHour == hour && date.wMinute == minute && date.wSecond == 0;
}

// The changes are given as "n-th Sunday of the month" (5 = the last) at the wall-clock
// time the old offset shows.
TEST(TimeZone, ChangeDatesFollowTheZoneRules) {
  struct Case {
    const char* zone;
    WORD daylight_month, daylight_week, daylight_hour, daylight_minute;
    WORD standard_month, standard_week, standard_hour, standard_minute;
  };
  const Case cases[] = {
      {"America/New_York", 3, 2, 2, 0, 11, 1, 2, 0},
      {"Europe/Dublin", 3, 5, 1, 0, 10, 5, 2, 0},
      {"Australia/Adelaide", 10, 1, 2, 0, 4, 1, 3, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.zone);
    ScopedTimeZone zone(c.zone);
    TIME_ZONE_INFORMATION info;
    murmel::core::TimeZoneAt(Utc(2024, 5, 1), info);
    EXPECT_TRUE(SameChange(info.DaylightDate, c.daylight_month, c.daylight_week, c.daylight_hour,
                           c.daylight_minute))
        << info.DaylightDate.wMonth << "/" << info.DaylightDate.wDay << " "
        << info.DaylightDate.wHour << ":" << info.DaylightDate.wMinute;
    EXPECT_TRUE(SameChange(info.StandardDate, c.standard_month, c.standard_week, c.standard_hour,
                           c.standard_minute))
        << info.StandardDate.wMonth << "/" << info.StandardDate.wDay << " "
        << info.StandardDate.wHour << ":" << info.StandardDate.wMinute;
  }
}

// Names come from the zone's abbreviations; a zone without daylight time has no changes.
TEST(TimeZone, NamesAndMissingChangeDates) {
  for (const auto& [zone, standard, daylight, month] :
       {std::tuple{"America/New_York", u"EST", u"EDT", 3},
        std::tuple{"Asia/Tokyo", u"JST", u"", 0}}) {
    SCOPED_TRACE(zone);
    ScopedTimeZone scoped(zone);
    TIME_ZONE_INFORMATION info;
    murmel::core::TimeZoneAt(Utc(2024, 5, 1), info);
    EXPECT_EQ(Str(info.StandardName), standard);
    if (month == 0) {
      EXPECT_EQ(info.StandardDate.wMonth, 0);
    } else {
      EXPECT_EQ(Str(info.DaylightName), daylight);
    }
    EXPECT_EQ(info.DaylightDate.wMonth, month);
  }
}

// New York moved to daylight time at 2024-03-10 07:00 UTC.
TEST(TimeZone, ResultTurnsAtTheChangeItself) {
  ScopedTimeZone zone("America/New_York");
  TIME_ZONE_INFORMATION info;
  EXPECT_EQ(murmel::core::TimeZoneAt(Utc(2024, 3, 10, 6, 59, 59), info), TIME_ZONE_ID_STANDARD);
  EXPECT_EQ(murmel::core::TimeZoneAt(Utc(2024, 3, 10, 7, 0, 0), info), TIME_ZONE_ID_DAYLIGHT);
  EXPECT_EQ(info.Bias, 300);
}

// The zone is read again on every call, so a changed TZ is seen at once.
TEST(TimeZone, GetTimeZoneInformationFollowsTz) {
  TIME_ZONE_INFORMATION info;
  {
    ScopedTimeZone zone("Asia/Kolkata");
    EXPECT_EQ(GetTimeZoneInformation(&info), static_cast<DWORD>(TIME_ZONE_ID_UNKNOWN));
    EXPECT_EQ(info.Bias, -330);
  }
  {
    ScopedTimeZone zone("Europe/Berlin");
    const DWORD result = GetTimeZoneInformation(&info);
    EXPECT_TRUE(result == TIME_ZONE_ID_STANDARD || result == TIME_ZONE_ID_DAYLIGHT) << result;
    EXPECT_EQ(info.Bias, -60);
  }
  SetLastError(0);
  EXPECT_EQ(GetTimeZoneInformation(nullptr), TIME_ZONE_ID_INVALID);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
