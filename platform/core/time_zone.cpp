#include "platform/core/time_zone.h"

#include <algorithm>
#include <iterator>

#include "win/error.h"

namespace murmel::core {
namespace {

constexpr std::time_t kDay = std::time_t{24} * 60 * 60;

long OffsetAt(std::time_t instant, std::tm* broken_down = nullptr) {
  std::tm local{};
  localtime_r(&instant, &local);
  if (broken_down != nullptr) *broken_down = local;
  return local.tm_gmtoff;
}

std::time_t UtcNoon(int year_since_1900, int month, int day) {
  std::tm utc{};
  utc.tm_year = year_since_1900;
  utc.tm_mon = month;
  utc.tm_mday = day;
  utc.tm_hour = 12;
  return timegm(&utc);
}

void CopyZoneName(WCHAR (&dest)[32], const char* abbreviation) {
  std::size_t i = 0;
  for (; abbreviation != nullptr && abbreviation[i] != '\0' && i + 1 < std::size(dest); ++i) {
    dest[i] = static_cast<WCHAR>(static_cast<unsigned char>(abbreviation[i]));
  }
  dest[i] = 0;
}

int DaysInMonth(int year_since_1900, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const int year = year_since_1900 + 1900;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 1 && leap ? 29 : kDays[month];
}

// The wall-clock moment of a change, as the platform writes it: month, weekday and which
// occurrence of that weekday (5 = the last one in the month), at the clock time that the
// old offset shows when the change happens.
SYSTEMTIME ChangeDate(std::time_t change, long offset_before) {
  const std::time_t wall = change + offset_before;
  std::tm t{};
  gmtime_r(&wall, &t);
  SYSTEMTIME date{};
  date.wMonth = static_cast<WORD>(t.tm_mon + 1);
  date.wDayOfWeek = static_cast<WORD>(t.tm_wday);
  date.wDay = static_cast<WORD>(
      t.tm_mday + 7 > DaysInMonth(t.tm_year, t.tm_mon) ? 5 : (t.tm_mday - 1) / 7 + 1);
  date.wHour = static_cast<WORD>(t.tm_hour);
  date.wMinute = static_cast<WORD>(t.tm_min);
  date.wSecond = static_cast<WORD>(t.tm_sec);
  return date;
}

// The first second at which the offset differs from the one at `before`.
std::time_t FindChange(std::time_t before, std::time_t after) {
  const long offset = OffsetAt(before);
  while (after - before > 1) {
    const std::time_t middle = before + (after - before) / 2;
    (OffsetAt(middle) == offset ? before : after) = middle;
  }
  return after;
}

// Walks the year a day at a time and records the first change into and out of daylight time.
void FillChangeDates(int year_since_1900, long standard, long daylight,
                     TIME_ZONE_INFORMATION& info) {
  const std::time_t start = UtcNoon(year_since_1900, 0, 1) - kDay;
  const std::time_t end = UtcNoon(year_since_1900 + 1, 0, 1);
  bool found_daylight = false;
  bool found_standard = false;
  long offset = OffsetAt(start);
  for (std::time_t t = start; t < end && !(found_daylight && found_standard); t += kDay) {
    const long next_offset = OffsetAt(t + kDay);
    if (next_offset != offset) {
      const std::time_t change = FindChange(t, t + kDay);
      if (next_offset == daylight && !found_daylight) {
        info.DaylightDate = ChangeDate(change, offset);
        found_daylight = true;
      } else if (next_offset == standard && !found_standard) {
        info.StandardDate = ChangeDate(change, offset);
        found_standard = true;
      }
      offset = next_offset;
    }
  }
}

}  // namespace

DWORD TimeZoneAt(std::time_t now, TIME_ZONE_INFORMATION& info) {
  // localtime_r does not look at TZ again by itself.
  tzset();
  info = TIME_ZONE_INFORMATION{};
  std::tm local{};
  const long current = OffsetAt(now, &local);

  // Not tm_isdst: tzdata marks Dublin's winter as its daylight time.
  std::tm january{};
  std::tm july{};
  const long january_offset = OffsetAt(UtcNoon(local.tm_year, 0, 15), &january);
  const long july_offset = OffsetAt(UtcNoon(local.tm_year, 6, 15), &july);
  const long standard = std::min(january_offset, july_offset);
  const long daylight = std::max(january_offset, july_offset);
  const std::tm& standard_tm = january_offset <= july_offset ? january : july;
  const std::tm& daylight_tm = january_offset <= july_offset ? july : january;

  info.Bias = static_cast<LONG>(-standard / 60);
  CopyZoneName(info.StandardName, standard_tm.tm_zone);
  CopyZoneName(info.DaylightName, daylight_tm.tm_zone);
  if (standard == daylight) return TIME_ZONE_ID_UNKNOWN;

  info.DaylightBias = static_cast<LONG>(-(daylight - standard) / 60);
  FillChangeDates(local.tm_year, standard, daylight, info);
  return current == daylight ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

}  // namespace murmel::core

DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION lpTimeZoneInformation) {
  if (lpTimeZoneInformation == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return TIME_ZONE_ID_INVALID;
  }
  return murmel::core::TimeZoneAt(std::time(nullptr), *lpTimeZoneInformation);
}
