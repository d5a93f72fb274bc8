#include "platform/core/locale_table.h"

#include <array>
#include <cstdlib>

namespace murmel::core {
namespace {

struct LocaleEntry {
  std::string_view name;  // "ll_TT" or "ll"
  UINT codePage;
  LANGID languageId;
};

// Language-only rows give each language's usual country.
constexpr std::array kLocales = {
    LocaleEntry{"en_US", 1252, 0x0409}, LocaleEntry{"en_GB", 1252, 0x0809},
    LocaleEntry{"en_AU", 1252, 0x0C09}, LocaleEntry{"en_CA", 1252, 0x1009},
    LocaleEntry{"en_NZ", 1252, 0x1409}, LocaleEntry{"en_IE", 1252, 0x1809},
    LocaleEntry{"en_ZA", 1252, 0x1C09}, LocaleEntry{"en_IN", 1252, 0x4009},
    LocaleEntry{"en", 1252, 0x0409},    LocaleEntry{"de_DE", 1252, 0x0407},
    LocaleEntry{"de_CH", 1252, 0x0807}, LocaleEntry{"de_AT", 1252, 0x0C07},
    LocaleEntry{"de_LU", 1252, 0x1007}, LocaleEntry{"de", 1252, 0x0407},
    LocaleEntry{"fr_FR", 1252, 0x040C}, LocaleEntry{"fr_BE", 1252, 0x080C},
    LocaleEntry{"fr_CA", 1252, 0x0C0C}, LocaleEntry{"fr_CH", 1252, 0x100C},
    LocaleEntry{"fr", 1252, 0x040C},    LocaleEntry{"es_ES", 1252, 0x0C0A},
    LocaleEntry{"es_MX", 1252, 0x080A}, LocaleEntry{"es_AR", 1252, 0x2C0A},
    LocaleEntry{"es", 1252, 0x0C0A},    LocaleEntry{"it_IT", 1252, 0x0410},
    LocaleEntry{"it_CH", 1252, 0x0810}, LocaleEntry{"it", 1252, 0x0410},
    LocaleEntry{"nl_NL", 1252, 0x0413}, LocaleEntry{"nl_BE", 1252, 0x0813},
    LocaleEntry{"nl", 1252, 0x0413},    LocaleEntry{"pt_BR", 1252, 0x0416},
    LocaleEntry{"pt_PT", 1252, 0x0816}, LocaleEntry{"pt", 1252, 0x0816},
    LocaleEntry{"sv", 1252, 0x041D},    LocaleEntry{"da", 1252, 0x0406},
    LocaleEntry{"nb", 1252, 0x0414},    LocaleEntry{"no", 1252, 0x0414},
    LocaleEntry{"nn", 1252, 0x0814},    LocaleEntry{"fi", 1252, 0x040B},
    LocaleEntry{"is", 1252, 0x040F},    LocaleEntry{"ca", 1252, 0x0403},
    LocaleEntry{"eu", 1252, 0x042D},    LocaleEntry{"id", 1252, 0x0421},
    LocaleEntry{"ms", 1252, 0x043E},    LocaleEntry{"af", 1252, 0x0436},
    LocaleEntry{"ja", 932, 0x0411},     LocaleEntry{"zh_CN", 936, 0x0804},
    LocaleEntry{"zh_SG", 936, 0x1004},  LocaleEntry{"zh_TW", 950, 0x0404},
    LocaleEntry{"zh_HK", 950, 0x0C04},  LocaleEntry{"zh", 936, 0x0804},
    LocaleEntry{"ko", 949, 0x0412},     LocaleEntry{"th", 874, 0x041E},
    LocaleEntry{"pl", 1250, 0x0415},    LocaleEntry{"cs", 1250, 0x0405},
    LocaleEntry{"hu", 1250, 0x040E},    LocaleEntry{"sk", 1250, 0x041B},
    LocaleEntry{"sl", 1250, 0x0424},    LocaleEntry{"hr", 1250, 0x041A},
    LocaleEntry{"ro", 1250, 0x0418},    LocaleEntry{"sq", 1250, 0x041C},
    LocaleEntry{"ru", 1251, 0x0419},    LocaleEntry{"uk", 1251, 0x0422},
    LocaleEntry{"be", 1251, 0x0423},    LocaleEntry{"bg", 1251, 0x0402},
    LocaleEntry{"mk", 1251, 0x042F},    LocaleEntry{"sr", 1251, 0x0C1A},
    LocaleEntry{"el", 1253, 0x0408},    LocaleEntry{"tr", 1254, 0x041F},
    LocaleEntry{"he", 1255, 0x040D},    LocaleEntry{"iw", 1255, 0x040D},
    LocaleEntry{"ar_SA", 1256, 0x0401}, LocaleEntry{"ar_EG", 1256, 0x0C01},
    LocaleEntry{"ar", 1256, 0x0401},    LocaleEntry{"fa", 1256, 0x0429},
    LocaleEntry{"ur", 1256, 0x0420},    LocaleEntry{"et", 1257, 0x0425},
    LocaleEntry{"lv", 1257, 0x0426},    LocaleEntry{"lt", 1257, 0x0427},
    LocaleEntry{"vi", 1258, 0x042A},
};

constexpr LocaleDefaults kUnitedStates{1252, 0x0409};

const LocaleEntry* Find(std::string_view key) {
  for (const LocaleEntry& entry : kLocales) {
    if (entry.name == key) return &entry;
  }
  return nullptr;
}

}  // namespace

LocaleDefaults LocaleDefaultsFor(std::string_view name) {
  // "ll_TT.codeset@modifier": only language and territory matter.
  const std::string_view base = name.substr(0, name.find_first_of(".@"));
  const std::string_view language = base.substr(0, base.find('_'));
  const LocaleEntry* entry = Find(base);
  if (entry == nullptr) entry = Find(language);
  if (entry == nullptr) return kUnitedStates;  // also C and POSIX
  return {entry->codePage, entry->languageId};
}

LocaleDefaults CurrentLocaleDefaults() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return LocaleDefaultsFor(value);
  }
  return kUnitedStates;
}

}  // namespace murmel::core
