// ValidateEmail on arbitrary recipient texts: first byte picks allowList, the rest is text.
#include <cstdlib>
#include <string_view>
#include <vector>

#include "tests/fuzz/fuzz_input.h"
#include "userdata/email_address.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int allowList = data[0] & 1;
  const std::u16string input = UnitsFrom(data + 1, size - 1);
  // Exactly the text and its NUL, so any read or write beyond it is caught.
  std::vector<WCHAR> buffer(input.begin(), input.end());
  buffer.push_back(0);

  const int result = ValidateEmail(buffer.data(), allowList);
  const std::u16string_view output(buffer.data());
  if (result == 0) {
    if (output != input) std::abort();  // refused texts stay as they were
    return 0;
  }
  if (result != 1 || output.size() > input.size() || output.empty()) std::abort();
  if (output.find_first_of(u" ;") != std::u16string_view::npos) std::abort();
  if (output.find(u",,") != std::u16string_view::npos) std::abort();
  if (output.front() == u',' || output.back() == u',') std::abort();
  if (allowList == 0 && output.find(u',') != std::u16string_view::npos) std::abort();
  if (output.find(u'@') == std::u16string_view::npos) std::abort();
  return 0;
}
