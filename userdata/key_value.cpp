#include "userdata/key_value.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

int ReadKeyValue(const WCHAR* text, const WCHAR* key, WCHAR* destination, std::size_t capacity) {
  const std::u16string_view whole(text);
  // No line structure: a key inside another line's value matches too, as it always has.
  const std::size_t at = whole.find(key);
  if (at == std::u16string_view::npos) return 0;
  if (capacity == 0) return 1;

  std::u16string_view value = whole.substr(at + std::char_traits<WCHAR>::length(key));
  value = value.substr(0, value.find(u'\r'));
  const std::size_t kept = std::min({value.size(), KEY_VALUE_MAX_LENGTH, capacity - 1});
  std::copy_n(value.begin(), kept, destination);
  destination[kept] = 0;
  return 1;
}

namespace {

// More digits than any count the loader keeps can reach.
constexpr std::size_t MOST_NUMBER_DIGITS = 18;

// The number spelt from `at` and ended by "=", as "%d" writes it, with valueStart set just
// past the "="; -1 when there is none.
long long NumberBeforeEquals(std::u16string_view text, std::size_t at, std::size_t& valueStart) {
  std::size_t end = at;
  while (end < text.size() && end - at <= MOST_NUMBER_DIGITS && text[end] >= u'0' &&
         text[end] <= u'9') {
    ++end;
  }
  const std::size_t digits = end - at;
  if (digits == 0 || digits > MOST_NUMBER_DIGITS || end == text.size() || text[end] != u'=') {
    return -1;
  }
  if (digits > 1 && text[at] == u'0') return -1;
  long long number = 0;
  for (std::size_t i = at; i < end; ++i) number = number * 10 + (text[i] - u'0');
  valueStart = end + 1;
  return number;
}

}  // namespace

std::vector<NumberedValue> ReadNumberedValues(std::u16string_view text,
                                              std::u16string_view prefix) {
  std::vector<NumberedValue> found;
  std::unordered_set<long long> seen;
  for (std::size_t at = text.find(prefix); at != std::u16string_view::npos;
       at = text.find(prefix, at + 1)) {
    std::size_t valueStart = 0;
    const long long number = NumberBeforeEquals(text, at + prefix.size(), valueStart);
    if (number < 0 || !seen.insert(number).second) continue;
    // Bounded, so that a text without line ends cannot make every value run to its end.
    std::u16string_view value = text.substr(valueStart, KEY_VALUE_MAX_LENGTH + 1);
    value = value.substr(0, value.find(u'\r'));
    found.push_back({number, value});
  }
  std::sort(found.begin(), found.end(),
            [](const NumberedValue& a, const NumberedValue& b) { return a.number < b.number; });
  return found;
}
