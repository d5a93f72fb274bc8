#include "server/options.h"

#include <algorithm>
#include <charconv>
#include <iterator>

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

}  // namespace

std::string UsageText() {
  return "Usage: murmelpost-server [options]\n"
         "Receives voice messages from Murmelpost clients and delivers them as e-mail\n"
         "into a Maildir outbox under the state folder.\n\n"
         "  --listen ADDR:PORT        where to listen (default [::]:110; [v6]:PORT for IPv6)\n"
         "  --state DIR               state folder (default $XDG_STATE_HOME/murmelpost-server)\n"
         "  --max-upload BYTES        largest single upload (default 8388608)\n"
         "  --max-message BYTES       largest sum of uploads per message (default 16777216)\n"
         "  --max-recipients N        recipients per message (default 50)\n"
         "  --max-frame BYTES         largest frame payload (default 4096)\n"
         "  --max-sessions N          concurrent connections (default 256)\n"
         "  --idle-timeout SECONDS    silence before a connection is closed (default 60)\n"
         "  --http [ADDR:]PORT        where to serve the help pages over HTTP (default port 8110\n"
         "                            on the --listen address; 0 picks a free port)\n"
         "  --no-http                 do not serve the help pages (custom picture\n"
         "                            registrations are then refused: nobody could confirm them)\n"
         "  --public-url URL          how users reach the HTTP pages, for the links in picture\n"
         "                            confirmation e-mails (default http://localhost:PORT)\n"
         "  --no-quick-ack            do not re-arm TCP_QUICKACK after reads (for measuring)\n"
         "  --help                    show this text\n";
}

ParseResult ParseOptions(const std::vector<std::string>& arguments,
                         const std::string& environmentHome, const std::string& environmentState,
                         Options& options) {
  constexpr std::uint64_t kMaxBytes = std::uint64_t{1} << 32;
  struct NumericOption {
    const char* name;
    std::uint64_t minimum, maximum;
    std::uint64_t* target;
  };
  std::uint64_t upload = options.limits.maxUploadBytes, message = options.limits.maxMessageBytes,
                recipients = options.limits.maxRecipients, frame = options.limits.maxFramePayload,
                sessions = options.limits.maxSessions,
                idle = static_cast<std::uint64_t>(options.limits.idleTimeout.count());
  const NumericOption numeric[] = {
      {"--max-upload", 0, kMaxBytes, &upload},      {"--max-message", 0, kMaxBytes, &message},
      {"--max-recipients", 1, 100000, &recipients}, {"--max-frame", 64, 65533, &frame},
      {"--max-sessions", 1, 1000000, &sessions},    {"--idle-timeout", 1, 86400, &idle},
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
    const bool takesValue = argument == "--listen" || argument == "--state" ||
                            argument == "--http" || argument == "--public-url" ||
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
  if (!options.http && !options.publicUrl.empty()) {
    return {false, "--public-url names the HTTP pages, which --no-http turns off"};
  }
  // Read after the loop so that --listen may come after --http.
  if (options.httpAddress.empty()) options.httpAddress = options.listenAddress;

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
