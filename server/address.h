// The envelope texts as the client lays them out: the sender as "name" <address>, the
// recipients as one comma-separated list. Parsed leniently: a peer's odd spacing or a
// quote inside the name must not lose the address.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace murmel::server {

struct Mailbox {
  std::string name;
  std::string address;
};

// "\"Ann Lee\" <ann@example.org>" gives {Ann Lee, ann@example.org}; a bare address gives
// an empty name. The name is everything between the first and the last quote before '<'.
Mailbox ParseSender(std::string_view text);

// Splits on ',' and ';', trims blanks, drops empty entries.
std::vector<std::string> SplitRecipients(std::string_view text);

// The last path component with control characters, '/' and '\' removed; never empty, "."
// or "..", so it can name an attachment without reaching outside its place.
std::string SafeFileName(std::string_view name, std::string_view fallback);

}  // namespace murmel::server
