// The command line of murmelpost-server.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "server/limits.h"
#include "server/voice_mp3.h"

namespace murmel::server {

// Where accepted e-mail goes after the Maildir outbox. No URL: the outbox is the end.
struct SmtpRelayOptions {
  std::string url;  // smtp://host[:port] or smtps://host[:port], as curl takes it
  std::string user;
  std::string password;  // only from the environment: a command line is visible to all users
  bool requireStartTls = false;
  std::string envelopeFrom;  // where bounces go
};

struct Options {
  std::string listenAddress = "::";  // dual-stack where the host allows
  std::uint16_t port = 110;
  // The help site that the client's Help menu opens.
  bool http = true;
  bool httpExplicit = false;      // asked for with --http: failing to bind it is then fatal
  std::string httpAddress;        // empty until parsed: then the transfer listener's
  std::uint16_t httpPort = 8110;  // 0: any free port
  // Where the links in picture confirmation e-mails point; empty: http://localhost:<port>.
  std::string publicUrl;
  std::filesystem::path stateDir;
  // The service's own address, From of every e-mail; empty until parsed: then
  // "murmelpost@" and the host's name.
  std::string mailFrom;
  // Off: messages go out in whatever name the client claims (closed networks only).
  bool verifySenders = true;
  VoiceFormat voiceFormat = VoiceFormat::Mp3;
  Limits limits;
  bool quickAck = true;  // off only to measure what it saves
  SmtpRelayOptions smtp;
  // A recipient the relay still defers this long after acceptance is given up on.
  std::chrono::seconds maxQueueLifetime{std::chrono::hours(24 * 5)};
  bool help = false;
  // --list: print the newest catalogue rows and exit instead of serving.
  bool list = false;
  std::uint64_t listCount = 20;
};

struct ParseResult {
  bool ok = true;
  std::string error;  // says which option and what is expected
};

// environmentHome, environmentState and environmentSmtpPassword are $HOME, $XDG_STATE_HOME
// and $MURMELPOST_SMTP_PASSWORD (any may be empty).
ParseResult ParseOptions(const std::vector<std::string>& arguments,
                         const std::string& environmentHome, const std::string& environmentState,
                         const std::string& environmentSmtpPassword, Options& options);

std::string UsageText();

}  // namespace murmel::server
