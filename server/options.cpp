#include "server/options.h"

#include <curl/curl.h>

#include <algorithm>
#include <charconv>
#include <iterator>
#include <memory>

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

ParseResult CheckRelay(SmtpRelayOptions& smtp, const std::string& environmentPassword,
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
  if (!smtp.user.empty()) {
    if (environmentPassword.empty()) {
      return {false,
              "--smtp-user needs its password in the environment variable "
              "MURMELPOST_SMTP_PASSWORD"};
    }
    smtp.password = environmentPassword;
  }
  if (smtp.envelopeFrom.empty()) smtp.envelopeFrom = mailFrom;
  return {};
}

}  // namespace

std::string UsageText() {
  return "Usage: murmelpost-server [options]\n"
         "Receives voice messages from Murmelpost clients and delivers them as e-mail\n"
         "into a Maildir outbox under the state folder, each one recorded in the\n"
         "catalogue.sqlite3 there.\n\n"
         "  --listen ADDR:PORT        where to listen (default [::]:110; [v6]:PORT for IPv6)\n"
         "  --state DIR               state folder (default $XDG_STATE_HOME/murmelpost-server)\n"
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
         "                            the environment variable MURMELPOST_SMTP_PASSWORD\n"
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
         "  --list [N]                print the newest N (default 20) messages of the state\n"
         "                            folder's catalogue, with where each went, and exit\n"
         "  --help                    show this text\n";
}

ParseResult ParseOptions(const std::vector<std::string>& arguments,
                         const std::string& environmentHome, const std::string& environmentState,
                         const std::string& environmentSmtpPassword, Options& options) {
  constexpr std::uint64_t kMaxBytes = std::uint64_t{1} << 32;
  struct NumericOption {
    const char* name;
    std::uint64_t minimum, maximum;
    std::uint64_t* target;
  };
  std::uint64_t upload = options.limits.maxUploadBytes, message = options.limits.maxMessageBytes,
                recipients = options.limits.maxRecipients, frame = options.limits.maxFramePayload,
                sessions = options.limits.maxSessions,
                idle = static_cast<std::uint64_t>(options.limits.idleTimeout.count()),
                perIp = options.limits.maxSessionsPerIp,
                messagesPerIp = options.limits.maxMessagesPerIp,
                messagesPerSender = options.limits.maxMessagesPerSender,
                lifetime = static_cast<std::uint64_t>(
                    std::chrono::duration_cast<std::chrono::seconds>(options.limits.maxSessionTime)
                        .count()),
                queueLifetime = static_cast<std::uint64_t>(options.maxQueueLifetime.count());
  const NumericOption numeric[] = {
      {"--max-upload", 0, kMaxBytes, &upload},
      {"--max-message", 0, kMaxBytes, &message},
      {"--max-recipients", 1, 100000, &recipients},
      {"--max-frame", 64, 65533, &frame},
      {"--max-sessions", 1, 1000000, &sessions},
      {"--idle-timeout", 1, 86400, &idle},
      {"--max-sessions-per-ip", 1, 1000000, &perIp},
      {"--max-messages-per-ip", 1, 1000000, &messagesPerIp},
      {"--max-messages-per-sender", 1, 1000000, &messagesPerSender},
      {"--max-session-time", 1, 86400, &lifetime},
      {"--max-queue-lifetime", 1, 366 * 86400, &queueLifetime},
  };

  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      options.help = true;
      continue;
    }
    if (argument == "--no-quick-ack") {
      options.quickAck = false;
      continue;
    }
    if (argument == "--no-http") {
      options.http = false;
      continue;
    }
    if (argument == "--list") {
      options.list = true;
      // The count is optional: a following option is not one.
      if (i + 1 < arguments.size() && !arguments[i + 1].starts_with("--")) {
        const std::string& count = arguments[++i];
        if (!ParseNumber(count, 1, 1000000, options.listCount)) {
          return {false, "--list expects a number of messages from 1 to 1000000, got " + count};
        }
      }
      continue;
    }
    if (argument == "--no-sender-verification") {
      options.verifySenders = false;
      continue;
    }
    if (argument == "--smtp-starttls") {
      options.smtp.requireStartTls = true;
      continue;
    }
    const bool takesValue = argument == "--listen" || argument == "--state" ||
                            argument == "--http" || argument == "--public-url" ||
                            argument == "--smtp-relay" || argument == "--smtp-user" ||
                            argument == "--smtp-envelope-from" || argument == "--mail-from" ||
                            argument == "--voice-format" ||
                            std::any_of(std::begin(numeric), std::end(numeric),
                                        [&](const NumericOption& o) { return argument == o.name; });
    if (!takesValue) return {false, "unknown option " + argument + " (see --help)"};
    if (i + 1 >= arguments.size()) return {false, argument + " needs a value (see --help)"};
    const std::string& value = arguments[++i];
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
    } else if (argument == "--smtp-relay") {
      if (std::string error = ParseRelayUrl(value, options.smtp.url); !error.empty()) {
        return {false, error};
      }
    } else if (argument == "--voice-format") {
      if (value == "mp3" || value == "wav" || value == "both") {
        options.voiceFormat = value == "mp3"   ? VoiceFormat::Mp3
                              : value == "wav" ? VoiceFormat::Wav
                                               : VoiceFormat::Both;
      } else {
        return {false, "--voice-format expects mp3, wav or both, got " + value};
      }
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
      for (const NumericOption& o : numeric) {
        if (argument != o.name) continue;
        if (!ParseNumber(value, o.minimum, o.maximum, *o.target)) {
          std::string error = argument;
          error += " expects a number from " + std::to_string(o.minimum);
          error += " to " + std::to_string(o.maximum) + ", got " + value;
          return {false, error};
        }
      }
    }
  }
  options.limits.maxUploadBytes = upload;
  options.limits.maxMessageBytes = message;
  options.limits.maxRecipients = recipients;
  options.limits.maxFramePayload = frame;
  options.limits.maxSessions = sessions;
  options.limits.idleTimeout = std::chrono::seconds(idle);
  options.limits.maxSessionsPerIp = perIp;
  options.limits.maxMessagesPerIp = messagesPerIp;
  options.limits.maxMessagesPerSender = messagesPerSender;
  options.limits.maxSessionTime = std::chrono::seconds(lifetime);
  options.maxQueueLifetime = std::chrono::seconds(queueLifetime);
  if (!options.http && !options.publicUrl.empty()) {
    return {false, "--public-url names the HTTP pages, which --no-http turns off"};
  }
  // Read after the loop so that --listen may come after --http.
  if (options.httpAddress.empty()) options.httpAddress = options.listenAddress;
  if (options.mailFrom.empty()) options.mailFrom = DefaultMailFrom();
  if (ParseResult relay = CheckRelay(options.smtp, environmentSmtpPassword, options.mailFrom);
      !relay.ok) {
    return relay;
  }

  if (options.stateDir.empty()) {
    if (!environmentState.empty()) {
      options.stateDir = std::filesystem::path(environmentState) / "murmelpost-server";
    } else if (!environmentHome.empty()) {
      options.stateDir = std::filesystem::path(environmentHome) / ".local/state/murmelpost-server";
    } else {
      return {false, "no state folder: set --state, XDG_STATE_HOME or HOME"};
    }
  }
  return {};
}

}  // namespace murmel::server
