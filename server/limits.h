// What one peer may cost the server. Every limit ends only the offending connection.
#pragma once

#include <chrono>
#include <cstddef>

namespace murmel::server {

struct Limits {
  std::size_t maxUploadBytes = std::size_t{8} * 1024 * 1024;    // one FLSZ announcement
  std::size_t maxMessageBytes = std::size_t{16} * 1024 * 1024;  // all uploads of one connection
  std::size_t maxRecipients = 50;
  std::size_t maxFramePayload = 4096;  // the client sends at most 1028
  std::size_t maxSessions = 256;
  std::chrono::seconds idleTimeout{60};
  // Fairness: one address (an IPv6 /64) or one sender cannot take the service from others.
  std::size_t maxSessionsPerIp = 8;
  std::size_t maxMessagesPerIp = 120;     // accepted per hour
  std::size_t maxMessagesPerSender = 30;  // accepted per hour
  // A session ends after this however busy it is: "CHCK" alone would keep a slot forever.
  std::chrono::milliseconds maxSessionTime = std::chrono::minutes(10);
};

// Descriptors a session may hold: its socket and its upload spool file.
inline constexpr std::size_t kDescriptorsPerSession = 2;
// Left for the catalogue, the outbox, the HTTP pages and the relay.
inline constexpr std::size_t kDescriptorsReserved = 64;

}  // namespace murmel::server
