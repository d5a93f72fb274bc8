// The host's time zone in the platform's terms, at a given instant.
#pragma once

#include <ctime>

#include "win/system.h"

namespace murmel::core {

// What GetTimeZoneInformation answers when the clock reads `now`: the zone comes from TZ
// (or the system's zone), re-read on every call.
DWORD TimeZoneAt(std::time_t now, TIME_ZONE_INFORMATION& info);

}  // namespace murmel::core
