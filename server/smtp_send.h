// One SMTP transaction through libcurl, and what the relay's replies mean for the message:
// sent, refused for good, to be tried again later, or a relay that cannot be used now.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "server/options.h"

namespace murmel::server {

struct SmtpTimeouts {
  std::chrono::seconds connect{30};
  // Per reply and per stalled upload; a relay may take minutes to accept a large DATA.
  std::chrono::seconds reply{300};
};

struct SmtpOutcome {
  enum class Kind {
    Sent,         // the relay's final 250: every recipient not refused below has it
    Refused,      // the relay will never take it (5xx for the message or every recipient)
    Deferred,     // this message later (4xx)
    Unreachable,  // the relay itself later: connection, greeting, TLS or login failed
    Stopped,      // Stop was asked for; nothing was handed over
  };
  Kind kind = Kind::Unreachable;
  std::string reason;                          // one line
  std::vector<std::string> refusedRecipients;  // "address: reply" of those refused for good
};

// message must have CRLF line ends; the dot-stuffing and the final "." are curl's. stop is
// polled while curl waits, so a caller's shutdown never waits for a silent relay.
SmtpOutcome SendThroughRelay(const SmtpRelayOptions& relay, const SmtpTimeouts& timeouts,
                             const std::vector<std::string>& recipients, const std::string& message,
                             const std::atomic<bool>& stop);

}  // namespace murmel::server
