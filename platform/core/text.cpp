#include "win/text.h"

#include <locale.h>
#include <wctype.h>

#include <climits>
#include <cstdint>

namespace {

bool IsSurrogate(WCHAR ch) { return ch >= 0xD800 && ch <= 0xDFFF; }

// glibc's case tables live in a locale; C.UTF-8 carries the full simple Unicode mapping and
// does not depend on the user's locale. Created once, only read afterwards.
locale_t CaseLocale() {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  return locale;
}

WCHAR MapCase(WCHAR ch, bool to_lower) {
  if (IsSurrogate(ch)) return ch;
  const locale_t locale = CaseLocale();
  if (locale == nullptr) {
    // Without C.UTF-8 only ASCII letters fold.
    if (to_lower && ch >= u'A' && ch <= u'Z') return static_cast<WCHAR>(ch + 32);
    if (!to_lower && ch >= u'a' && ch <= u'z') return static_cast<WCHAR>(ch - 32);
    return ch;
  }
  const wint_t mapped = to_lower ? towlower_l(ch, locale) : towupper_l(ch, locale);
  return mapped <= 0xFFFF ? static_cast<WCHAR>(mapped) : ch;
}

int Sign(int value) { return (value > 0) - (value < 0); }

const WCHAR kEmpty[] = u"";
const WCHAR* OrEmpty(const WCHAR* text) { return text != nullptr ? text : kEmpty; }

bool IsSpace(WCHAR ch) { return ch == u' ' || (ch >= u'\t' && ch <= u'\r'); }

long long ParseDecimal(const WCHAR* text, long long low, long long high) {
  if (text == nullptr) return 0;
  while (IsSpace(*text)) ++text;
  bool negative = false;
  if (*text == u'-' || *text == u'+') negative = *text++ == u'-';
  long long value = 0;
  for (; *text >= u'0' && *text <= u'9'; ++text) {
    const int digit = *text - u'0';
    // Accumulate on the sign's own side so that the minimum itself is reachable.
    if (negative) {
      if (value < (low + digit) / 10) return low;
      value = value * 10 - digit;
    } else {
      if (value > (high - digit) / 10) return high;
      value = value * 10 + digit;
    }
  }
  return value;
}

}  // namespace

std::size_t wcslen(const WCHAR* text) {
  const WCHAR* end = text;
  while (*end != 0) ++end;
  return static_cast<std::size_t>(end - text);
}

WCHAR* wcscpy(WCHAR* dest, const WCHAR* source) {
  WCHAR* out = dest;
  while ((*out++ = *source++) != 0) {
  }
  return dest;
}

WCHAR* wcsncpy(WCHAR* dest, const WCHAR* source, std::size_t count) {
  std::size_t i = 0;
  for (; i < count && source[i] != 0; ++i) dest[i] = source[i];
  for (; i < count; ++i) dest[i] = 0;  // the C function pads, and does not terminate a cut
  return dest;
}

WCHAR* wcscat(WCHAR* dest, const WCHAR* source) {
  wcscpy(dest + wcslen(dest), source);
  return dest;
}

int wcscmp(const WCHAR* a, const WCHAR* b) { return wcsncmp(a, b, SIZE_MAX); }

int wcsncmp(const WCHAR* a, const WCHAR* b, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    if (a[i] == 0) break;
  }
  return 0;
}

const WCHAR* wcschr(const WCHAR* text, WCHAR ch) {
  for (;; ++text) {
    if (*text == ch) return text;
    if (*text == 0) return nullptr;
  }
}

WCHAR* wcschr(WCHAR* text, WCHAR ch) {
  return const_cast<WCHAR*>(wcschr(static_cast<const WCHAR*>(text), ch));
}

const WCHAR* wcsrchr(const WCHAR* text, WCHAR ch) {
  const WCHAR* found = nullptr;
  for (;; ++text) {
    if (*text == ch) found = text;
    if (*text == 0) return found;
  }
}

WCHAR* wcsrchr(WCHAR* text, WCHAR ch) {
  return const_cast<WCHAR*>(wcsrchr(static_cast<const WCHAR*>(text), ch));
}

const WCHAR* wcsstr(const WCHAR* text, const WCHAR* needle) {
  const std::size_t needle_length = wcslen(needle);
  for (; *text != 0 || needle_length == 0; ++text) {
    if (wcsncmp(text, needle, needle_length) == 0) return text;
  }
  return nullptr;
}

WCHAR* wcsstr(WCHAR* text, const WCHAR* needle) {
  return const_cast<WCHAR*>(wcsstr(static_cast<const WCHAR*>(text), needle));
}

WCHAR towlower(WCHAR ch) { return MapCase(ch, true); }

WCHAR towupper(WCHAR ch) { return MapCase(ch, false); }

int _wcsicmp(const WCHAR* a, const WCHAR* b) { return _wcsnicmp(a, b, SIZE_MAX); }

int _wcsnicmp(const WCHAR* a, const WCHAR* b, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const WCHAR left = towlower(a[i]);
    const WCHAR right = towlower(b[i]);
    if (left != right) return static_cast<int>(left) - static_cast<int>(right);
    if (left == 0) break;
  }
  return 0;
}

int _wtoi(const WCHAR* text) { return static_cast<int>(ParseDecimal(text, INT_MIN, INT_MAX)); }

LONG _wtol(const WCHAR* text) {
  return static_cast<LONG>(ParseDecimal(text, INT32_MIN, INT32_MAX));
}

int lstrlenW(LPCWSTR text) { return static_cast<int>(wcslen(OrEmpty(text))); }

LPWSTR lstrcpyW(LPWSTR dest, LPCWSTR source) { return wcscpy(dest, OrEmpty(source)); }

LPWSTR lstrcpynW(LPWSTR dest, LPCWSTR source, int maxLength) {
  if (maxLength <= 0) return dest;
  source = OrEmpty(source);
  int i = 0;
  for (; i + 1 < maxLength && source[i] != 0; ++i) dest[i] = source[i];
  dest[i] = 0;
  return dest;
}

LPWSTR lstrcatW(LPWSTR dest, LPCWSTR source) { return wcscat(dest, OrEmpty(source)); }

int lstrcmpW(LPCWSTR a, LPCWSTR b) { return Sign(wcscmp(OrEmpty(a), OrEmpty(b))); }

int lstrcmpiW(LPCWSTR a, LPCWSTR b) { return Sign(_wcsicmp(OrEmpty(a), OrEmpty(b))); }
