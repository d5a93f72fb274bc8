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

// "ADDR:PORT", "[v6]:PORT", ":PORT" or "ADDR".
bool ParseListen(const std::string& text, Options& options) {
  std::string address = text;
  std::string port;
  if (!text.empty() && text.front() == '[') {
    const auto close = text.find(']');
    if (close == std::string::npos) return false;
    address = text.substr(1, close - 1);
    if (close + 1 < text.size()) {
      if (text[close + 1] != ':') return false;
      port = text.substr(close + 2);
    }
  } else if (const auto colon = text.rfind(':');
             colon != std::string::npos && text.find(':') == colon) {
    address = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  if (!port.empty() || text.ends_with(":")) {
    std::uint64_t value = 0;
    if (!ParseNumber(port, 0, 65535, value)) return false;
    options.port = static_cast<std::uint16_t>(value);
  }
  if (!address.empty()) options.listenAddress = address;
  return true;
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
    const bool takesValue = argument == "--listen" || argument == "--state" ||
                            std::any_of(std::begin(numeric), std::end(numeric),
                                        [&](const NumericOption& o) { return argument == o.name; });
    if (!takesValue) return {false, "unknown option " + argument + " (see --help)"};
    if (i + 1 >= arguments.size()) return {false, argument + " needs a value (see --help)"};
    const std::string& value = arguments[++i];
    if (argument == "--listen") {
      if (!ParseListen(value, options)) return {false, "--listen expects ADDR:PORT, got " + value};
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
