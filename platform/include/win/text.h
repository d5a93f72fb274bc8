// UTF-16 text: the fixed-capacity field type, the string functions and the bounded,
// type-checked wsprintfW.
#pragma once

#include <cstddef>
#include <type_traits>

#include "win/types.h"

// ---- String functions over UTF-16 (WCHAR is char16_t, so these are distinct overloads
// of the C library's wchar_t functions of the same names).

std::size_t wcslen(const WCHAR* text);
WCHAR* wcscpy(WCHAR* dest, const WCHAR* source);
WCHAR* wcsncpy(WCHAR* dest, const WCHAR* source, std::size_t count);
WCHAR* wcscat(WCHAR* dest, const WCHAR* source);
int wcscmp(const WCHAR* a, const WCHAR* b);
int wcsncmp(const WCHAR* a, const WCHAR* b, std::size_t count);
WCHAR* wcschr(WCHAR* text, WCHAR ch);
const WCHAR* wcschr(const WCHAR* text, WCHAR ch);
WCHAR* wcsrchr(WCHAR* text, WCHAR ch);
const WCHAR* wcsrchr(const WCHAR* text, WCHAR ch);
WCHAR* wcsstr(WCHAR* text, const WCHAR* needle);
const WCHAR* wcsstr(const WCHAR* text, const WCHAR* needle);

// Simple Unicode case mapping of one UTF-16 unit; surrogates map to themselves.
WCHAR towlower(WCHAR ch);
WCHAR towupper(WCHAR ch);

// Case-insensitive: both sides folded with towlower; the result is the difference of the
// first folded units that differ.
int _wcsicmp(const WCHAR* a, const WCHAR* b);
int _wcsnicmp(const WCHAR* a, const WCHAR* b, std::size_t count);

// Decimal text to int: leading white space, an optional sign, digits up to the first
// non-digit; 0 without digits; saturates at INT_MIN / INT_MAX.
int _wtoi(const WCHAR* text);
LONG _wtol(const WCHAR* text);

// The kernel's variants: a null pointer counts as empty text; comparisons answer -1, 0 or 1
// in code-unit order (the linguistic order of the device is not reproduced).
int lstrlenW(LPCWSTR text);
LPWSTR lstrcpyW(LPWSTR dest, LPCWSTR source);
// Copies at most maxLength - 1 units and always terminates (nothing written when 0).
LPWSTR lstrcpynW(LPWSTR dest, LPCWSTR source, int maxLength);
LPWSTR lstrcatW(LPWSTR dest, LPCWSTR source);
int lstrcmpW(LPCWSTR a, LPCWSTR b);
int lstrcmpiW(LPCWSTR a, LPCWSTR b);

// ---- Text<N>: a fixed-capacity UTF-16 field that truncates and always stays terminated.

template <std::size_t N>
class Text {
  static_assert(N > 0, "a text field needs room for its terminating NUL");

 public:
  Text() = default;
  Text(const WCHAR* text) { assign(text); }  // NOLINT(google-explicit-constructor)
  template <std::size_t M>
  Text(const Text<M>& other) {  // NOLINT(google-explicit-constructor)
    assign(other.data());
  }

  Text& operator=(const WCHAR* text) {
    assign(text);
    return *this;
  }
  template <std::size_t M>
  Text& operator=(const Text<M>& other) {
    assign(other.data());
    return *this;
  }

  WCHAR* data() { return chars_; }
  const WCHAR* data() const { return chars_; }
  static constexpr std::size_t capacity() { return N; }
  std::size_t length() const { return wcslen(chars_); }
  bool empty() const { return chars_[0] == 0; }
  void clear() { chars_[0] = 0; }

  WCHAR& operator[](std::size_t index) { return chars_[index]; }
  const WCHAR& operator[](std::size_t index) const { return chars_[index]; }

  operator const WCHAR*() const { return chars_; }  // NOLINT(google-explicit-constructor)
  operator WCHAR*() { return chars_; }              // NOLINT(google-explicit-constructor)

 private:
  void assign(const WCHAR* text) {
    if (text == chars_) return;
    std::size_t i = 0;
    if (text != nullptr) {
      // Copy forward one unit at a time: safe when text points into this field.
      for (; i + 1 < N && text[i] != 0; ++i) chars_[i] = text[i];
    }
    chars_[i] = 0;
  }

  WCHAR chars_[N] = {};
};

// ---- wsprintfW
//
// Conversions: %s (const WCHAR*, WCHAR*, WCHAR arrays, Text<M>; a null pointer prints
// "(null)"), %d and %i (any integer, printed as the platform's 32-bit int, so 0xFFFFFFFF
// is -1), %f with its 'l' spelling (float or double; exact halves round away from zero, so
// "%5.1lf" of 3.25 is "  3.3"), and %%. Flags '-' and '0', a width and a precision apply as
// in C. An argument of any other type does not compile (a static_assert below; the suite
// does not carry a negative compile test). At run time a conversion whose argument is of
// the wrong kind, or missing, writes nothing; an unknown conversion is copied as written.
// The output is cut to the destination's capacity and always terminated; the result is the
// number of units written without the NUL.

namespace murmel::text {

enum class ArgKind { kText, kInteger, kReal };

struct FormatArg {
  ArgKind kind;
  const WCHAR* text;
  long long integer;
  double real;
};

int FormatInto(WCHAR* dest, std::size_t capacity, const WCHAR* format, const FormatArg* args,
               std::size_t count);

template <typename T>
struct IsText : std::false_type {};
template <std::size_t M>
struct IsText<Text<M>> : std::true_type {};

template <typename T>
inline constexpr bool kIsTextArgument =
    IsText<T>::value || std::is_same_v<std::remove_cv_t<std::decay_t<T>>, WCHAR*> ||
    std::is_same_v<std::decay_t<T>, const WCHAR*>;

template <typename T>
inline constexpr bool kIsIntegerArgument =
    (std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char> &&
     !std::is_same_v<T, signed char> && !std::is_same_v<T, unsigned char> &&
     !std::is_same_v<T, char8_t> && !std::is_same_v<T, char16_t> && !std::is_same_v<T, char32_t> &&
     !std::is_same_v<T, wchar_t>) ||
    (std::is_enum_v<T> && std::is_convertible_v<T, long long>);

template <typename T>
inline constexpr bool kIsRealArgument = std::is_same_v<T, double> || std::is_same_v<T, float>;

template <typename T>
inline constexpr bool kIsFormatArgument =
    kIsTextArgument<std::remove_cv_t<T>> || kIsIntegerArgument<std::remove_cv_t<T>> ||
    kIsRealArgument<std::remove_cv_t<T>>;

template <typename T>
FormatArg MakeArg(const T& value) {
  using Plain = std::remove_cv_t<T>;
  if constexpr (IsText<Plain>::value) {
    return {ArgKind::kText, value.data(), 0, 0.0};
  } else if constexpr (kIsTextArgument<Plain>) {
    return {ArgKind::kText, static_cast<const WCHAR*>(value), 0, 0.0};
  } else if constexpr (kIsRealArgument<Plain>) {
    return {ArgKind::kReal, nullptr, 0, static_cast<double>(value)};
  } else if constexpr (std::is_enum_v<Plain>) {
    return {ArgKind::kInteger, nullptr, static_cast<long long>(value), 0.0};
  } else {
    // Unsigned values keep their bit pattern; %d reads the low 32 bits as a signed int.
    return {ArgKind::kInteger, nullptr,
            static_cast<long long>(static_cast<unsigned long long>(value)), 0.0};
  }
}

template <typename... Args>
int Format(WCHAR* dest, std::size_t capacity, const WCHAR* format, const Args&... args) {
  static_assert((kIsFormatArgument<Args> && ...),
                "wsprintfW takes WCHAR strings, Text<N>, integers and doubles only");
  if constexpr (sizeof...(Args) == 0) {
    return FormatInto(dest, capacity, format, nullptr, 0);
  } else {
    const FormatArg packed[] = {MakeArg(args)...};
    return FormatInto(dest, capacity, format, packed, sizeof...(Args));
  }
}

}  // namespace murmel::text

template <std::size_t N, typename... Args>
int wsprintfW(WCHAR (&dest)[N], const WCHAR* format, const Args&... args) {
  return murmel::text::Format(dest, N, format, args...);
}

template <std::size_t N, typename... Args>
int wsprintfW(Text<N>& dest, const WCHAR* format, const Args&... args) {
  return murmel::text::Format(dest.data(), N, format, args...);
}
