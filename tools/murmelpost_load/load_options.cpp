#include "tools/murmelpost_load/load_options.h"

#include <charconv>

namespace murmel::load {
namespace {

ParseResult Fail(std::string error) { return {false, std::move(error)}; }

bool ParseNumber(const std::string& text, long low, long high, long& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value >= low && value <= high;
}

ParseResult ParseServer(const std::string& value, LoadOptions& options) {
  const auto colon = value.rfind(':');
  long port = 0;
  if (colon == std::string::npos || colon == 0 ||
      !ParseNumber(value.substr(colon + 1), 1, 65535, port)) {
    return Fail("--server expects HOST:PORT, got '" + value + "'");
  }
  options.host = value.substr(0, colon);
  if (options.host.size() > 2 && options.host.front() == '[' && options.host.back() == ']') {
    options.host = options.host.substr(1, options.host.size() - 2);
  }
  options.port = static_cast<std::uint16_t>(port);
  return {};
}

}  // namespace

ParseResult ParseLoadOptions(const std::vector<std::string>& arguments, LoadOptions& options) {
  struct Numeric {
    const char* name;
    long low;
    long high;
    void (*store)(LoadOptions&, long);
  };
  static constexpr Numeric kNumeric[] = {
      {"--clients", 1, 100000, [](LoadOptions& o, long v) { o.clients = static_cast<int>(v); }},
      {"--messages", 1, 10000000, [](LoadOptions& o, long v) { o.messages = static_cast<int>(v); }},
      {"--chunks", 1, 8192, [](LoadOptions& o, long v) { o.chunks = static_cast<int>(v); }},
      {"--idle", 1, 1000000, [](LoadOptions& o, long v) { o.idle = static_cast<int>(v); }},
      {"--hold", 0, 86400, [](LoadOptions& o, long v) { o.holdSeconds = static_cast<int>(v); }},
      {"--pause-halfway", 0, 86400,
       [](LoadOptions& o, long v) { o.pauseHalfway = static_cast<int>(v); }},
      {"--attachment", 0, 8388608, [](LoadOptions& o, long v) { o.attachment = v; }},
      {"--source-addresses", 1, 254,
       [](LoadOptions& o, long v) { o.sourceAddresses = static_cast<int>(v); }},
      {"--threads", 1, 2, [](LoadOptions& o, long v) { o.threads = static_cast<int>(v); }},
      {"--timeout", 1, 86400,
       [](LoadOptions& o, long v) { o.timeoutSeconds = static_cast<int>(v); }},
  };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      options.help = true;
      continue;
    }
    if (i + 1 >= arguments.size()) {
      return Fail(argument.starts_with("--") ? argument + " needs a value (see --help)"
                                             : "unexpected argument '" + argument + "'");
    }
    const std::string& value = arguments[++i];
    if (argument == "--server") {
      if (ParseResult parsed = ParseServer(value, options); !parsed.ok) return parsed;
      continue;
    }
    std::string* text = argument == "--answered"    ? &options.answered
                        : argument == "--sender"    ? &options.sender
                        : argument == "--recipient" ? &options.recipient
                        : argument == "--tag"       ? &options.tag
                                                    : nullptr;
    if (text != nullptr) {
      if (value.empty()) return Fail(argument + " must not be empty");
      *text = value;
      continue;
    }
    const Numeric* numeric = nullptr;
    for (const Numeric& candidate : kNumeric) {
      if (argument == candidate.name) numeric = &candidate;
    }
    if (numeric == nullptr) return Fail("unknown option " + argument + " (see --help)");
    long number = 0;
    if (!ParseNumber(value, numeric->low, numeric->high, number)) {
      std::string error = argument;
      error += " expects a number from " + std::to_string(numeric->low);
      error += " to " + std::to_string(numeric->high) + ", got '" + value + "'";
      return Fail(error);
    }
    numeric->store(options, number);
  }
  return {};
}

std::string LoadUsageText() {
  return "Usage: murmelpost-load --server HOST:PORT [options]\n"
         "\n"
         "Drives concurrent clients over the transfer protocol, each frame written in three\n"
         "parts as the handheld client writes it, a fresh connection per message. Prints\n"
         "accepted messages per second, the FINI-to-TROK latency and why anything failed.\n"
         "The server must run with --no-sender-verification.\n"
         "\n"
         "  --clients N            concurrent clients (default 10)\n"
         "  --messages M           messages per client, one after the other (default 1)\n"
         "  --chunks K             1024-byte voice chunks per message (default 1)\n"
         "  --attachment BYTES     also upload a named file of BYTES (type 10)\n"
         "  --idle N               only open N connections, hold them, report, close\n"
         "  --hold SECONDS         how long --idle holds them (default 10)\n"
         "  --pause-halfway SECONDS  every voice upload waits half-way, to measure the\n"
         "                         server with that many uploads under way\n"
         "  --source-addresses N   spread connections over 127.0.0.1 .. 127.0.0.N\n"
         "  --threads 1|2          I/O threads (default 1)\n"
         "  --timeout SECONDS      a message still unanswered then counts as failed (120)\n"
         "  --answered FILE        append the subject of every message answered TROK\n"
         "  --sender ADDR          sender address (default load@example.com)\n"
         "  --recipient ADDR       recipient address (default sink@example.com)\n"
         "  --tag WORD             subjects are 'WORD CLIENT-N' (default load)\n";
}

}  // namespace murmel::load
