// What the device's regional settings would be for the user's POSIX locale.
#pragma once

#include <string_view>

#include "win/types.h"

namespace murmel::core {

struct LocaleDefaults {
  UINT ansiCodePage;
  LANGID languageId;
};

// From a locale name such as "de_DE.UTF-8", "ja_JP", "fr" or "C"; the territory is
// matched first, then the language alone. Unknown names give US English (1252, 0x0409).
LocaleDefaults LocaleDefaultsFor(std::string_view name);

// The locale in effect: the first non-empty of LC_ALL, LC_CTYPE and LANG, read on every
// call so that a changed environment is seen.
LocaleDefaults CurrentLocaleDefaults();

}  // namespace murmel::core
