// ReadKeyValue on arbitrary file texts: the first byte gives the key length in units and a
// destination capacity, then the key, then the file text.
#include <cstdlib>
#include <string_view>
#include <vector>

#include "tests/fuzz/fuzz_input.h"
#include "userdata/key_value.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t keyBytes = 2 * (std::size_t{1} + (data[0] & 0x0Fu));
  const std::size_t capacity = 1 + (data[0] >> 4) * 20;  // 1 to 301 units
  if (size < 1 + keyBytes) return 0;
  const std::u16string key = UnitsFrom(data + 1, keyBytes);
  const std::u16string text = UnitsFrom(data + 1 + keyBytes, size - 1 - keyBytes);

  // Exactly capacity units plus one guard unit that must survive.
  constexpr WCHAR GUARD = u'\uFFFE';
  std::vector<WCHAR> destination(capacity + 1, u'#');
  destination[capacity - 1] = 0;
  destination[capacity] = GUARD;
  const std::vector<WCHAR> before = destination;

  const int result = ReadKeyValue(text.c_str(), key.c_str(), destination.data(), capacity);
  if (destination[capacity] != GUARD) std::abort();
  const std::size_t at = std::u16string_view(text).find(key);
  if (result == 0) {
    if (at != std::u16string_view::npos || destination != before) std::abort();
    return 0;
  }
  if (result != 1 || at == std::u16string_view::npos) std::abort();
  const std::u16string_view value(destination.data());
  if (value.size() > KEY_VALUE_MAX_LENGTH || value.size() >= capacity) std::abort();
  if (value.find(u'\r') != std::u16string_view::npos) std::abort();
  // The value is what follows the first occurrence of the key.
  if (std::u16string_view(text).substr(at + key.size(), value.size()) != value) std::abort();
  return 0;
}
