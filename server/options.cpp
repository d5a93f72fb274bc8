#include "server/options.h"

#include <curl/curl.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <memory>
#include <string_view>

#include <unistd.h>

#include "server/address.h"

namespace murmel::server {
namespace {

bool ParseNumber(const std::string& text, std::uint64_t minimum, std::uint64_t maximum,
                 std::uint64_t& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value >= minimum &&
         value <= maximum;
}

// "ADDR:PORT", "[v6]:PORT", ":PORT" or "ADDR"; port is left alone when none is given.
bool ParseAddressPort(const std::string& text, std::string& address, std::uint16_t& port,
                      bool& portGiven) {
  std::string host = text;
  std::string portText;
  portGiven = false;
  if (!text.empty() && text.front() == '[') {
    const auto close = text.find(']');
    if (close == std::string::npos) return false;
    host = text.substr(1, close - 1);
    if (close + 1 < text.size()) {
      if (text[close + 1] != ':') return false;
      portText = text.substr(close + 2);
    }
  } else if (const auto colon = text.rfind(':');
             colon != std::string::npos && text.find(':') == colon) {
    host = text.substr(0, colon);
    portText = text.substr(colon + 1);
  }
  if (!portText.empty() || text.ends_with(":")) {
    std::uint64_t value = 0;
    if (!ParseNumber(portText, 0, 65535, value)) return false;
    port = static_cast<std::uint16_t>(value);
    portGiven = true;
  }
  if (!host.empty()) address = host;
  return true;
}

// "PORT" or any form above that names a port: a bare address would say nothing.
bool ParseHttp(const std::string& text, Options& options) {
  std::uint64_t value = 0;
  if (ParseNumber(text, 0, 65535, value)) {
    options.httpPort = static_cast<std::uint16_t>(value);
    return true;
  }
  bool portGiven = false;
  return ParseAddressPort(text, options.httpAddress, options.httpPort, portGiven) && portGiven;
}

struct UrlFree {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct CurlFree {
  void operator()(char* text) const { curl_free(text); }
};

// Checked with curl's own parser, so that what passes here is what the relay connects to;
// url becomes curl's normalised form (scheme in lower case).
std::string ParseRelayUrl(const std::string& text, std::string& url) {
  const std::string expected = "--smtp-relay expects smtp://HOST[:PORT] or smtps://HOST[:PORT]";
  const std::unique_ptr<CURLU, UrlFree> parsed(curl_url());
  if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) {
    return expected + ", got " + text;
  }
  auto part = [&](CURLUPart which) {
    char* value = nullptr;
    if (curl_url_get(parsed.get(), which, &value, 0) != CURLUE_OK || value == nullptr) {
      return std::string();
    }
    const std::unique_ptr<char, CurlFree> owned(value);
    return std::string(value);
  };
  const std::string scheme = part(CURLUPART_SCHEME);
  if ((scheme != "smtp" && scheme != "smtps") || part(CURLUPART_HOST).empty() ||
      part(CURLUPART_PORT) == "0" || !part(CURLUPART_QUERY).empty() ||
      !part(CURLUPART_FRAGMENT).empty()) {
    return expected + ", got " + text;
  }
  if (!part(CURLUPART_USER).empty() || !part(CURLUPART_PASSWORD).empty()) {
    return "--smtp-relay takes no user or password in the URL: use --smtp-user and "
           "MURMELPOST_SMTP_PASSWORD";
  }
  url = part(CURLUPART_URL);
  return {};
}

// "murmelpost@" and the host's name as the system knows it, in lower case.
std::string DefaultMailFrom() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "murmelpost@localhost";
  return "murmelpost@" + AddressKey(name);
}

Result CheckRelay(SmtpRelayOptions& smtp, const std::string& environmentPassword,
                  const std::string& mailFrom) {
  if (smtp.url.empty()) {
    if (!smtp.user.empty()) return {false, "--smtp-user needs --smtp-relay"};
    if (smtp.requireStartTls) return {false, "--smtp-starttls needs --smtp-relay"};
    if (!smtp.envelopeFrom.empty()) return {false, "--smtp-envelope-from needs --smtp-relay"};
    return {};
  }
  if (smtp.requireStartTls && smtp.url.starts_with("smtps:")) {
    return {false, "--smtp-starttls is for smtp:// URLs: smtps:// is encrypted from the start"};
  }
  if (smtp.user.empty()) {
    smtp.password.clear();
  } else {
    if (!environmentPassword.empty()) smtp.password = environmentPassword;
    if (smtp.password.empty()) {
      return {false,
              "--smtp-user needs its password in the environment variable "
              "MURMELPOST_SMTP_PASSWORD or as smtp-password in the configuration file"};
    }
  }
  if (smtp.envelopeFrom.empty()) smtp.envelopeFrom = mailFrom;
  return {};
}

struct NumericOption {
  const char* name;
  std::uint64_t minimum, maximum;
  void (*set)(Options&, std::uint64_t);
};

constexpr std::uint64_t kMaxBytes = std::uint64_t{1} << 32;
const NumericOption kNumeric[] = {
    {"--max-upload", 0, kMaxBytes,
     [](Options& o, std::uint64_t v) { o.limits.maxUploadBytes = v; }},
    {"--max-message", 0, kMaxBytes,
     [](Options& o, std::uint64_t v) { o.limits.maxMessageBytes = v; }},
    {"--max-recipients", 1, 100000,
     [](Options& o, std::uint64_t v) { o.limits.maxRecipients = v; }},
    {"--max-frame", 64, 65533, [](Options& o, std::uint64_t v) { o.limits.maxFramePayload = v; }},
    {"--max-sessions", 1, 1000000, [](Options& o, std::uint64_t v) { o.limits.maxSessions = v; }},
    {"--idle-timeout", 1, 86400,
     [](Options& o, std::uint64_t v) { o.limits.idleTimeout = std::chrono::seconds(v); }},
    {"--max-sessions-per-ip", 1, 1000000,
     [](Options& o, std::uint64_t v) { o.limits.maxSessionsPerIp = v; }},
    {"--max-messages-per-ip", 1, 1000000,
     [](Options& o, std::uint64_t v) { o.limits.maxMessagesPerIp = v; }},
    {"--max-messages-per-sender", 1, 1000000,
     [](Options& o, std::uint64_t v) { o.limits.maxMessagesPerSender = v; }},
    {"--max-session-time", 1, 86400,
     [](Options& o, std::uint64_t v) { o.limits.maxSessionTime = std::chrono::seconds(v); }},
    {"--max-queue-lifetime", 1, std::uint64_t{366} * 86400,
     [](Options& o, std::uint64_t v) { o.maxQueueLifetime = std::chrono::seconds(v); }},
};

const char* const kValued[] = {
    "--listen",     "--state",        "--database",  "--http",
    "--public-url", "--smtp-relay",   "--smtp-user", "--smtp-envelope-from",
    "--mail-from",  "--voice-format", "--log-level"};

// The settings that take no value; false when name is not one.
bool ApplyFlag(const std::string& name, Options& options) {
  if (name == "--no-quick-ack") {
    options.quickAck = false;
  } else if (name == "--no-http") {
    options.http = false;
  } else if (name == "--no-sender-verification") {
    options.verifySenders = false;
  } else if (name == "--smtp-starttls") {
    options.smtp.requireStartTls = true;
  } else {
    return false;
  }
  return true;
}

bool TakesValue(const std::string& name) {
  return std::any_of(std::begin(kValued), std::end(kValued),
                     [&](const char* valued) { return name == valued; }) ||
         std::any_of(std::begin(kNumeric), std::end(kNumeric),
                     [&](const NumericOption& o) { return name == o.name; });
}

// Commands and the file's own name: they mean nothing inside a configuration file.
bool CommandLineOnly(const std::string& name) {
  return name == "--help" || name == "-h" || name == "--version" || name == "--list" ||
         name == "--config";
}

Result ApplyValue(const std::string& argument, const std::string& value, Options& options) {
  if (argument == "--listen") {
    bool portGiven = false;
    if (!ParseAddressPort(value, options.listenAddress, options.port, portGiven)) {
      return {false, "--listen expects ADDR:PORT, got " + value};
    }
  } else if (argument == "--http") {
    if (!ParseHttp(value, options)) {
      return {false, "--http expects PORT or ADDR:PORT ([v6]:PORT for IPv6), got " + value};
    }
    options.http = true;
    options.httpExplicit = true;
  } else if (argument == "--public-url") {
    if (!value.starts_with("http://") && !value.starts_with("https://")) {
      return {false, "--public-url expects an http:// or https:// address, got " + value};
    }
    options.publicUrl = value;
  } else if (argument == "--state") {
    if (value.empty()) return {false, "--state expects a folder"};
    options.stateDir = value;
  } else if (argument == "--database") {
    std::string error;
    options.database = ParseStoreLocation(value, error);
    if (!options.database) return {false, error};
  } else if (argument == "--smtp-relay") {
    if (std::string error = ParseRelayUrl(value, options.smtp.url); !error.empty()) {
      return {false, error};
    }
  } else if (argument == "--voice-format") {
    if (value != "mp3" && value != "wav" && value != "both") {
      return {false, "--voice-format expects mp3, wav or both, got " + value};
    }
    options.voiceFormat = value == "mp3"   ? VoiceFormat::Mp3
                          : value == "wav" ? VoiceFormat::Wav
                                           : VoiceFormat::Both;
  } else if (argument == "--log-level") {
    static constexpr std::pair<const char*, LogLevel> kLevels[] = {{"error", LogLevel::Error},
                                                                   {"warning", LogLevel::Warning},
                                                                   {"notice", LogLevel::Notice},
                                                                   {"info", LogLevel::Info},
                                                                   {"debug", LogLevel::Debug}};
    const auto* level = std::find_if(std::begin(kLevels), std::end(kLevels),
                                     [&](const auto& known) { return value == known.first; });
    if (level == std::end(kLevels)) {
      return {false, "--log-level expects error, warning, notice, info or debug, got " + value};
    }
    options.logLevel = level->second;
  } else if (argument == "--smtp-user") {
    if (value.empty()) return {false, "--smtp-user expects a user name"};
    options.smtp.user = value;
  } else if (argument == "--smtp-envelope-from" || argument == "--mail-from") {
    // Either goes into headers and MAIL FROM as it is: only a plain mailbox will do.
    const Parsed<std::string> address = ParseMailbox(value);
    if (!address.ok()) {
      return {false, argument + " expects an address like murmelpost@example.org, got " + value +
                         ": " + address.error};
    }
    (argument == "--mail-from" ? options.mailFrom : options.smtp.envelopeFrom) = address.value;
  } else {
    for (const NumericOption& o : kNumeric) {
      if (argument != o.name) continue;
      std::uint64_t number = 0;
      if (!ParseNumber(value, o.minimum, o.maximum, number)) {
        std::string error = argument;
        error += " expects a number from " + std::to_string(o.minimum);
        error += " to " + std::to_string(o.maximum) + ", got " + value;
        return {false, error};
      }
      o.set(options, number);
      return {};
    }
    return {false, "unknown option " + argument + " (see --help)"};
  }
  return {};
}

// What depends on more than one setting or on the environment.
Result Finish(const Environment& environment, Options& options) {
  if (!options.http && !options.publicUrl.empty()) {
    return {false, "--public-url names the HTTP pages, which --no-http turns off"};
  }
  // Read after the loop so that --listen may come after --http.
  if (options.httpAddress.empty()) options.httpAddress = options.listenAddress;
  if (options.mailFrom.empty()) options.mailFrom = DefaultMailFrom();
  if (Result relay = CheckRelay(options.smtp, environment.smtpPassword, options.mailFrom);
      !relay.ok) {
    return relay;
  }
  if (!options.stateDir.empty()) return {};
  // The service manager's folder is the state folder itself; it may list several.
  if (!environment.stateDirectory.empty()) {
    options.stateDir = environment.stateDirectory.substr(0, environment.stateDirectory.find(':'));
  } else if (!environment.xdgState.empty()) {
    options.stateDir = std::filesystem::path(environment.xdgState) / "murmelpost-server";
  } else if (!environment.home.empty()) {
    options.stateDir = std::filesystem::path(environment.home) / ".local/state/murmelpost-server";
  } else {
    return {false, "no state folder: set --state, STATE_DIRECTORY, XDG_STATE_HOME or HOME"};
  }
  return {};
}

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// One line of the file, without its number: empty ok for blank lines and comments.
Result ReadConfigLine(std::string_view line, unsigned fileMode, Options& options) {
  if (std::any_of(line.begin(), line.end(), [](char c) {
        return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f;
      })) {
    return {false, "control character in the line"};
  }
  line = Trim(line);
  if (line.empty() || line.front() == '#') return {};
  const auto equals = line.find('=');
  const std::string key(Trim(line.substr(0, equals)));
  const bool hasValue = equals != std::string_view::npos;
  const std::string value(hasValue ? Trim(line.substr(equals + 1)) : std::string_view());
  if (key.empty() ||
      key.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-") != std::string::npos ||
      key.front() == '-') {
    return {false, "expected NAME = VALUE or a bare NAME, got " + std::string(line)};
  }
  const std::string name = "--" + key;
  if (key == "smtp-password") {
    if (!hasValue || value.empty()) return {false, "smtp-password needs a value"};
    // Group write or any access for others would let another user read or swap it.
    if ((fileMode & 027U) != 0) {
      return {false,
              "the file holds smtp-password but others may read or change it: chmod 600 "
              "(or 640 with a group of the service's own)"};
    }
    options.smtp.password = value;
    return {};
  }
  if (CommandLineOnly(name)) return {false, key + " is a command-line option, not a setting"};
  if (ApplyFlag(name, options)) {
    if (hasValue) return {false, key + " takes no value (write it alone on its line)"};
    return {};
  }
  if (!TakesValue(name)) return {false, "unknown setting " + key};
  if (!hasValue) return {false, key + " needs a value: " + key + " = VALUE"};
  Result applied = ApplyValue(name, value, options);
  // The file says names without dashes.
  if (!applied.ok && applied.error.starts_with(name)) applied.error.erase(0, 2);
  return applied;
}

}  // namespace

std::string UsageText() {
  return "Usage: murmelpost-server [options]\n"
         "Receives voice messages from Murmelpost clients and delivers them as e-mail\n"
         "into a Maildir outbox under the state folder, each one recorded in the\n"
         "catalogue.sqlite3 there.\n\n"
         "Every option but --config, --list, --help and --version may also be set in the\n"
         "configuration file, one \"name = value\" per line (a flag alone on its line), by\n"
         "its name without the dashes; the command line wins over the file.\n\n"
         "  --config FILE             configuration file (default /etc/murmelpost/server.conf,\n"
         "                            which may be missing)\n"
         "  --listen ADDR:PORT        where to listen (default [::]:110; [v6]:PORT for IPv6)\n"
         "  --state DIR               state folder (default $STATE_DIRECTORY when the service\n"
         "                            manager sets it, else $XDG_STATE_HOME/murmelpost-server)\n"
         "  --database URL            where messages, senders and pictures are recorded:\n"
         "                            sqlite:FILE (default: catalogue.sqlite3 in the state\n"
         "                            folder) or postgresql://[USER@]HOST[:PORT]/DB, shared by\n"
         "                            several servers (password from PGPASSFILE or PGPASSWORD)\n"
         "  --max-upload BYTES        largest single upload (default 8388608)\n"
         "  --max-message BYTES       largest sum of uploads per message (default 16777216)\n"
         "  --max-recipients N        recipients per message (default 50)\n"
         "  --max-frame BYTES         largest frame payload (default 4096)\n"
         "  --max-sessions N          concurrent connections (default 256); each may hold 3\n"
         "                            open files, the open-file limit is raised to fit or the\n"
         "                            server does not start\n"
         "  --max-sessions-per-ip N   concurrent connections from one address, one IPv6 /64\n"
         "                            (default 8)\n"
         "  --max-messages-per-ip N   messages accepted from one address per hour (default 120)\n"
         "  --max-messages-per-sender N  messages accepted from one sender address per hour\n"
         "                            (default 30)\n"
         "  --idle-timeout SECONDS    silence before a connection is closed (default 60)\n"
         "  --max-session-time SECONDS  a connection is closed after this however busy it is\n"
         "                            (default 600)\n"
         "  --http [ADDR:]PORT        where to serve the help pages over HTTP (default port 8110\n"
         "                            on the --listen address; 0 picks a free port)\n"
         "  --no-http                 do not serve the help pages (custom picture\n"
         "                            registrations are then refused: nobody could confirm them)\n"
         "  --public-url URL          how users reach the HTTP pages, for the links in picture\n"
         "                            confirmation e-mails (default http://localhost:PORT)\n"
         "  --no-quick-ack            do not re-arm TCP_QUICKACK after reads (for measuring)\n"
         "  --smtp-relay URL          also send each e-mail on through this SMTP relay:\n"
         "                            smtp://HOST[:PORT] or smtps://HOST[:PORT]; sent mail\n"
         "                            moves to outbox/sent, refused mail to outbox/failed\n"
         "  --smtp-user NAME          log in to the relay as NAME; the password is read from\n"
         "                            the environment variable MURMELPOST_SMTP_PASSWORD, else\n"
         "                            from smtp-password in a configuration file that others\n"
         "                            cannot read\n"
         "  --smtp-starttls           with smtp://, send nothing unless STARTTLS succeeds\n"
         "  --smtp-envelope-from ADDR bounce address (default the --mail-from address)\n"
         "  --max-queue-lifetime SECONDS  a recipient the relay still defers after this is\n"
         "                            given up and its sender told (default 432000, 5 days)\n"
         "  --mail-from ADDR          the service's own address: From of every e-mail, the\n"
         "                            sender goes in Reply-To (default murmelpost@HOSTNAME)\n"
         "  --no-sender-verification  deliver without asking senders to confirm their address\n"
         "                            (unsafe on a public network: anyone could send in\n"
         "                            anyone's name)\n"
         "  --voice-format FORMAT     the voice in e-mail: mp3 (default; plays everywhere),\n"
         "                            wav (the client's GSM, which few players take) or both\n"
         "  --log-level LEVEL         error, warning, notice, info (default) or debug\n"
         "  --list [N]                print the newest N (default 20) messages of the\n"
         "                            catalogue (--database), with where each went, and exit\n"
         "  --help                    show this text\n"
         "  --version                 show the version\n";
}

Result ParseOptions(const std::vector<std::string>& arguments, const Environment& environment,
                    Options& options) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
    } else if (argument == "--list") {
      options.list = true;
      // The count is optional: a following option is not one.
      if (i + 1 < arguments.size() && !arguments[i + 1].starts_with("--")) {
        const std::string& count = arguments[++i];
        if (!ParseNumber(count, 1, 1000000, options.listCount)) {
          return {false, "--list expects a number of messages from 1 to 1000000, got " + count};
        }
      }
    } else if (!ApplyFlag(argument, options)) {
      if (argument != "--config" && !TakesValue(argument)) {
        return {false, "unknown option " + argument + " (see --help)"};
      }
      if (i + 1 >= arguments.size()) return {false, argument + " needs a value (see --help)"};
      const std::string& value = arguments[++i];
      if (argument == "--config") {
        if (value.empty()) return {false, "--config expects a file"};
        options.config = value;
      } else if (Result applied = ApplyValue(argument, value, options); !applied.ok) {
        return applied;
      }
    }
  }
  return Finish(environment, options);
}

Result ConfigFileOf(const std::vector<std::string>& arguments, std::filesystem::path& path,
                    bool& explicitlyNamed) {
  path = kDefaultConfigFile;
  explicitlyNamed = false;
  // Only --config matters here; every other mistake is reported by the full parse.
  for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
    if (arguments[i] != "--config") continue;
    if (arguments[i + 1].empty()) return {false, "--config expects a file"};
    path = arguments[i + 1];
    explicitlyNamed = true;
  }
  return {};
}

Result ReadConfigText(const std::string& text, const std::filesystem::path& file, unsigned fileMode,
                      Options& options) {
  std::size_t number = 0;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    ++number;
    std::string_view content = std::string_view(text).substr(start, end - start);
    // A file saved with CR LF line ends is still one setting a line.
    if (content.ends_with('\r')) content.remove_suffix(1);
    Result line = ReadConfigLine(content, fileMode, options);
    if (!line.ok) return {false, file.string() + ":" + std::to_string(number) + ": " + line.error};
    start = end + 1;
  }
  return {};
}

Result ReadConfigFile(const std::filesystem::path& file, bool explicitlyNamed, Options& options) {
  constexpr std::uintmax_t kMaxConfigBytes = std::uintmax_t{64} * 1024;
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(file, error);
  if (status.type() == std::filesystem::file_type::not_found && !explicitlyNamed) return {};
  if (error) return {false, "cannot read " + file.string() + ": " + error.message()};
  if (status.type() != std::filesystem::file_type::regular) {
    return {false, file.string() + " is not a regular file"};
  }
  const std::uintmax_t size = std::filesystem::file_size(file, error);
  if (error || size > kMaxConfigBytes) {
    return {false, file.string() + ": larger than 64 KiB, or unreadable"};
  }
  std::ifstream in(file, std::ios::binary);
  std::string text(static_cast<std::size_t>(size), '\0');
  if (!in.read(text.data(), static_cast<std::streamsize>(size))) {
    return {false, "cannot read " + file.string()};
  }
  return ReadConfigText(text, file, static_cast<unsigned>(status.permissions()), options);
}

}  // namespace murmel::server
