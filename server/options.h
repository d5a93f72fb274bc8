// The command line of murmelpost-server and its configuration file, which takes the same
// settings by the same names.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "server/limits.h"
#include "server/log.h"
#include "server/result.h"
#include "server/store.h"
#include "server/voice_mp3.h"

namespace murmel::server {

// Where accepted e-mail goes after the Maildir outbox. No URL: the outbox is the end.
struct SmtpRelayOptions {
  std::string url;  // smtp://host[:port] or smtps://host[:port], as curl takes it
  std::string user;
  // From the environment or a configuration file only others cannot read: a command line
  // is visible to all users.
  std::string password;
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
  // --database; nullopt: the state folder's catalogue.sqlite3.
  std::optional<StoreLocation> database;
  // The service's own address, From of every e-mail; empty until parsed: then
  // "murmelpost@" and the host's name.
  std::string mailFrom;
  // Off: messages go out in whatever name the client claims (closed networks only).
  bool verifySenders = true;
  VoiceFormat voiceFormat = VoiceFormat::Mp3;
  Limits limits;
  bool quickAck = true;  // off only to measure what it saves
  LogLevel logLevel = LogLevel::Info;
  SmtpRelayOptions smtp;
  // A recipient the relay still defers this long after acceptance is given up on.
  std::chrono::seconds maxQueueLifetime{std::chrono::hours(24 * 5)};
  bool help = false;
  bool version = false;
  // Set only by the command line; the file is read before the line is parsed.
  std::filesystem::path config;
  // --list: print the newest catalogue rows and exit instead of serving.
  bool list = false;
  std::uint64_t listCount = 20;
};

// What the server reads from its environment; any may be empty.
struct Environment {
  std::string home;            // $HOME
  std::string xdgState;        // $XDG_STATE_HOME
  std::string stateDirectory;  // $STATE_DIRECTORY, set by the service manager
  std::string smtpPassword;    // $MURMELPOST_SMTP_PASSWORD
};

inline constexpr char kDefaultConfigFile[] = "/etc/murmelpost/server.conf";

// Applies the command line on top of whatever options holds already (defaults, or a
// configuration file read into it), then fills in what depends on the environment.
// Errors say which option and what it expects.
Result ParseOptions(const std::vector<std::string>& arguments, const Environment& environment,
                    Options& options);

// The file --config names, if any: it is read before the rest of the line.
Result ConfigFileOf(const std::vector<std::string>& arguments, std::filesystem::path& path,
                    bool& explicitlyNamed);

// Applies one "name = value" or bare "name" per line (# starts a comment) to options.
// Errors say "file:line: reason". A file that holds the SMTP password must not be readable
// by others (fileMode: its permission bits).
Result ReadConfigText(const std::string& text, const std::filesystem::path& file, unsigned fileMode,
                      Options& options);

// Reads the file. A missing file is fine only when it was not named explicitly.
Result ReadConfigFile(const std::filesystem::path& file, bool explicitlyNamed, Options& options);

std::string UsageText();

}  // namespace murmel::server
