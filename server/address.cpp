#include "server/address.h"

namespace murmel::server {
namespace {

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

}  // namespace

Mailbox ParseSender(std::string_view text) {
  Mailbox mailbox;
  const auto open = text.rfind('<');
  const auto close = text.rfind('>');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
    mailbox.address = Trim(text);
    return mailbox;
  }
  mailbox.address = Trim(text.substr(open + 1, close - open - 1));
  std::string_view name = Trim(text.substr(0, open));
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
    name = name.substr(1, name.size() - 2);
  }
  mailbox.name = name;
  return mailbox;
}

std::vector<std::string> SplitRecipients(std::string_view text) {
  std::vector<std::string> recipients;
  while (!text.empty()) {
    const auto separator = text.find_first_of(",;");
    const std::string_view entry = Trim(text.substr(0, separator));
    if (!entry.empty()) recipients.emplace_back(entry);
    if (separator == std::string_view::npos) break;
    text.remove_prefix(separator + 1);
  }
  return recipients;
}

std::string SafeFileName(std::string_view name, std::string_view fallback) {
  const auto slash = name.find_last_of("/\\");
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  std::string safe;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) continue;
    safe.push_back(c);
  }
  const std::string_view trimmed = Trim(safe);
  if (trimmed.empty() || trimmed == "." || trimmed == "..") return std::string(fallback);
  return std::string(trimmed);
}

}  // namespace murmel::server
