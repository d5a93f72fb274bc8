#include "userdata/key_value.h"

#include <algorithm>
#include <string_view>

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
