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

// The relay's reply to one RCPT TO.
struct RecipientReply {
  std::string address;
  int code = 0;
  std::string reply;
};

struct SmtpOutcome {
  enum class Kind {
    Sent,         // the relay's final 250: every recipient it took with 2xx has it
    Refused,      // the relay will never take it (5xx for the message or every recipient)
    Deferred,     // this message later (4xx, or every recipient refused and some deferred)
    Unreachable,  // the relay itself later: connection, greeting, TLS or login failed
    Stopped,      // Stop was asked for; nothing was handed over
  };
  Kind kind = Kind::Unreachable;
  std::string reason;                      // one line
  std::vector<RecipientReply> recipients;  // in the order of the RCPTs that were answered
};

// message must have CRLF line ends; the dot-stuffing and the final "." are curl's. stop is
// polled while curl waits, so a caller's shutdown never waits for a silent relay. With
// several recipients, those the relay takes get the message even when others are refused
// or deferred: each recipient's own reply is in the outcome. relay.envelopeFrom empty
// sends the null sender "<>", which bounces of bounces need.
SmtpOutcome SendThroughRelay(const SmtpRelayOptions& relay, const SmtpTimeouts& timeouts,
                             const std::vector<std::string>& recipients, const std::string& message,
                             const std::atomic<bool>& stop);

}  // namespace murmel::server
