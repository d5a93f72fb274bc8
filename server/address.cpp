#include "server/address.h"

#include <idn2.h>

#include <algorithm>
#include <memory>

namespace murmel::server {
namespace {

constexpr std::size_t kMaxLocalPart = 64;
constexpr std::size_t kMaxDomain = 253;
constexpr std::size_t kMaxLabel = 63;
constexpr std::size_t kMaxMailbox = 254;

bool IsAsciiLetterOrDigit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// RFC 5322 atext: what a dot-atom may hold besides its dots.
bool IsAtext(char c) {
  return IsAsciiLetterOrDigit(c) ||
         std::string_view("!#$%&'*+-/=?^_`{|}~").find(c) != std::string_view::npos;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return lower;
}

std::string LocalPartProblem(std::string_view local) {
  if (local.empty()) return "nothing before the '@'";
  if (local.size() > kMaxLocalPart) return "more than 64 characters before the '@'";
  if (local.front() == '.' || local.back() == '.' || local.find("..") != std::string_view::npos) {
    return "a misplaced dot before the '@'";
  }
  if (!std::all_of(local.begin(), local.end(), [](char c) { return c == '.' || IsAtext(c); })) {
    return "a character before the '@' that a mail address cannot hold unquoted";
  }
  return {};
}

// Letter-digit-hyphen labels, at least two, the last not all digits (that would be an
// IP address, not a domain).
std::string LdhDomainProblem(std::string_view domain) {
  if (domain.empty()) return "nothing after the '@'";
  if (domain.size() > kMaxDomain) return "a domain longer than 253 characters";
  std::size_t labels = 0;
  std::string_view last;
  for (std::string_view rest = domain;;) {
    const auto dot = rest.find('.');
    const std::string_view label = rest.substr(0, dot);
    if (label.empty() || label.size() > kMaxLabel) return "an empty or over-long domain label";
    if (label.front() == '-' || label.back() == '-')
      return "a domain label that starts or ends with '-'";
    if (!std::all_of(label.begin(), label.end(),
                     [](char c) { return c == '-' || IsAsciiLetterOrDigit(c); })) {
      return "a character that a domain name cannot hold";
    }
    ++labels;
    last = label;
    if (dot == std::string_view::npos) break;
    rest.remove_prefix(dot + 1);
  }
  if (labels < 2) return "a domain without a dot";
  if (std::all_of(last.begin(), last.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return "a numeric top-level domain";
  }
  return {};
}

struct Idn2Free {
  void operator()(char* text) const { idn2_free(text); }
};

// The domain as it goes on the wire: non-ASCII labels become A-labels (IDNA2008, input
// normalised to NFC), everything in lower case.
Parsed<std::string> AsciiDomain(std::string_view domain) {
  const bool ascii =
      std::all_of(domain.begin(), domain.end(), [](char c) { return (c & 0x80) == 0; });
  if (ascii) return {Lower(domain), {}};
  char* converted = nullptr;
  const std::string input(domain);
  const int status =
      idn2_to_ascii_8z(input.c_str(), &converted, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL);
  const std::unique_ptr<char, Idn2Free> owned(converted);
  if (status != IDN2_OK || converted == nullptr) {
    return {{},
            std::string("an internationalised domain that is not valid (") + idn2_strerror(status) +
                ")"};
  }
  return {Lower(converted), {}};
}

}  // namespace

Parsed<std::string> ParseMailbox(std::string_view text) {
  if (const std::string problem = HeaderTextProblem(text); !problem.empty()) {
    return {{}, "an address with " + problem};
  }
  const auto at = text.rfind('@');
  if (at == std::string_view::npos) return {{}, "an address without '@'"};
  if (const std::string problem = LocalPartProblem(text.substr(0, at)); !problem.empty()) {
    return {{}, "an address with " + problem};
  }
  const Parsed<std::string> domain = AsciiDomain(text.substr(at + 1));
  if (!domain.ok()) return {{}, "an address with " + domain.error};
  if (const std::string problem = LdhDomainProblem(domain.value); !problem.empty()) {
    return {{}, "an address with " + problem};
  }
  std::string mailbox = std::string(text.substr(0, at + 1)) + domain.value;
  if (mailbox.size() > kMaxMailbox) return {{}, "an address longer than 254 characters"};
  return {std::move(mailbox), {}};
}

Parsed<Mailbox> ParseSender(std::string_view text) {
  constexpr std::string_view kSeparator = "\" <";
  const auto separator = text.rfind(kSeparator);
  if (!text.starts_with('"') || !text.ends_with('>') || separator == std::string_view::npos ||
      separator == 0) {
    return {{}, "a sender not of the form \"name\" <address>"};
  }
  Mailbox sender;
  sender.name = text.substr(1, separator - 1);
  if (const std::string problem = HeaderTextProblem(sender.name); !problem.empty()) {
    return {{}, "a sender name with " + problem};
  }
  const std::size_t start = separator + kSeparator.size();
  Parsed<std::string> address = ParseMailbox(text.substr(start, text.size() - 1 - start));
  if (!address.ok()) return {{}, "a sender with " + address.error};
  sender.address = std::move(address.value);
  return {std::move(sender), {}};
}

Parsed<std::vector<std::string>> ParseRecipients(std::string_view text) {
  std::vector<std::string> recipients;
  std::vector<std::string> keys;
  if (text.empty()) return {};
  for (;;) {
    const auto comma = text.find(',');
    Parsed<std::string> mailbox = ParseMailbox(text.substr(0, comma));
    if (!mailbox.ok()) return {{}, "a recipient with " + mailbox.error};
    std::string key = AddressKey(mailbox.value);
    if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
      keys.push_back(std::move(key));
      recipients.push_back(std::move(mailbox.value));
    }
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return {std::move(recipients), {}};
}

std::string HeaderTextProblem(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x20 || byte == 0x7F) return "a control character";
    // U+0080 to U+009F: 0xC2 is never a continuation byte, so this pair is one of them.
    if (byte == 0xC2 && i + 1 < text.size() &&
        (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80) {
      return "a control character";
    }
  }
  return {};
}

std::string AddressKey(std::string_view address) { return Lower(address); }

std::string SafeFileName(std::string_view name, std::string_view fallback) {
  const auto slash = name.find_last_of("/\\");
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  std::string safe;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) continue;
    safe.push_back(c);
  }
  const auto first = safe.find_first_not_of(' ');
  const auto last = safe.find_last_not_of(' ');
  std::string trimmed =
      first == std::string::npos ? std::string() : safe.substr(first, last - first + 1);
  if (trimmed.empty() || trimmed == "." || trimmed == "..") return std::string(fallback);
  return trimmed;
}

}  // namespace murmel::server
