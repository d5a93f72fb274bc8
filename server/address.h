// The envelope texts, parsed once and strictly. The client sends the sender as
// "name" <mailbox> and the recipients as bare mailboxes separated by commas; anything else
// did not come from it and is refused, so that what reaches a header or an SMTP envelope
// is exactly what the sender typed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace murmel::server {

struct Mailbox {
  std::string name;
  std::string address;
};

// What a parse yields: a value, or why the text was refused.
template <typename T>
struct Parsed {
  T value{};
  std::string error;  // empty when the text was accepted
  bool ok() const { return error.empty(); }
};

// An RFC 5321 mailbox: a dot-atom local part, '@', a domain of letter-digit-hyphen labels.
// An internationalised domain comes back in its A-label form ("xn--..."), the domain in
// lower case. Quoted local parts, comments, blanks and control characters are refused.
Parsed<std::string> ParseMailbox(std::string_view utf8);

// The sender as the client formats it: '"' name '"' ' <' mailbox '>'. The name is what
// stands between the first quote and the last quote before " <"; it may hold quotes
// but no control character.
Parsed<Mailbox> ParseSender(std::string_view utf8);

// Mailboxes separated by single commas, each as ParseMailbox takes it; a mailbox named
// twice counts once. Empty text gives an empty list.
Parsed<std::vector<std::string>> ParseRecipients(std::string_view utf8);

// Why text cannot stand in a header (a C0 or C1 control character, DEL), or empty.
std::string HeaderTextProblem(std::string_view utf8);

// The key under which an address is verified and its picture kept: lower case.
std::string AddressKey(std::string_view address);

// The last path component with control characters, '/' and '\' removed; never empty, "."
// or "..", so it can name an attachment without reaching outside its place.
std::string SafeFileName(std::string_view name, std::string_view fallback);

}  // namespace murmel::server
