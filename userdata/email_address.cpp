#include "userdata/email_address.h"

#include <algorithm>
#include <string_view>

int ValidateEmail(WCHAR* text, int allowList) {
  const std::u16string_view original(text);
  if (original.empty() || original.size() < 3) return 0;
  if (original.size() > EMAIL_TEXT_MAX_LENGTH) return 0;

  // Only the first "@" of the whole text is tested; nothing else about the address is.
  const std::size_t at = original.find(u'@');
  if (at == std::u16string_view::npos || at == 0 || at == original.size() - 1) return 0;

  WCHAR normalised[EMAIL_TEXT_MAX_LENGTH + 1];
  std::size_t length = 0;
  for (WCHAR ch : original) {
    if (ch == u';' || ch == u' ') ch = u',';
    if (ch == u',' && length > 0 && normalised[length - 1] == u',') continue;
    normalised[length++] = ch;
  }
  std::u16string_view result(normalised, length);
  if (result.ends_with(u',')) result.remove_suffix(1);
  if (result.starts_with(u',')) result.remove_prefix(1);

  if (allowList == 0 && result.find(u',') != std::u16string_view::npos) return 0;
  // Never longer than the original, so it fits where the original was.
  *std::copy(result.begin(), result.end(), text) = 0;
  return 1;
}
