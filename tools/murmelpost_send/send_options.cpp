#include "tools/murmelpost_send/send_options.h"

#include <charconv>
#include <functional>
#include <map>

namespace murmel::send_tool {
namespace {

ParseResult Fail(std::string error) { return {false, std::move(error)}; }

// HOST or HOST:PORT. The client's connection is IPv4 only, so an IPv6 address is refused
// here rather than failing as a host that cannot be found.
ParseResult ParseServer(const std::string& value, SendOptions& options) {
  std::string host = value;
  std::string port;
  if (host.starts_with('[') || host.find(':') != host.rfind(':')) {
    return Fail("--server: IPv6 is not supported; give a host name or an IPv4 address");
  }
  if (const auto colon = host.find(':'); colon != std::string::npos) {
    port = host.substr(colon + 1);
    host = host.substr(0, colon);
  }
  if (host.empty()) return Fail("--server: the host name is empty");
  options.host = host;
  if (!value.empty() && value.back() == ':') return Fail("--server: the port is empty");
  if (port.empty()) return {};
  int number = 0;
  const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
  if (error != std::errc() || end != port.data() + port.size() || number < 1 || number > 65535) {
    return Fail("--server: the port must be a number from 1 to 65535, not '" + port + "'");
  }
  options.port = number;
  return {};
}

}  // namespace

ParseResult ParseSendOptions(const std::vector<std::string>& arguments, SendOptions& options) {
  using Setter = std::function<ParseResult(const std::string&)>;
  auto into = [](std::string& field) -> Setter {
    return [&field](const std::string& value) {
      field = value;
      return ParseResult{};
    };
  };
  auto intoOptional = [](std::optional<std::string>& field) -> Setter {
    return [&field](const std::string& value) {
      if (value.empty()) return Fail("a file name must not be empty");
      field = value;
      return ParseResult{};
    };
  };
  const std::map<std::string, Setter> valued = {
      {"--server", [&](const std::string& v) { return ParseServer(v, options); }},
      {"--from", into(options.from)},
      {"--name", into(options.name)},
      {"--title",
       [&](const std::string& v) {
         if (v != "Mr." && v != "Ms.")
           return Fail("--title: expected 'Mr.' or 'Ms.', not '" + v + "'");
         options.title = v;
         return ParseResult{};
       }},
      {"--to", into(options.to)},
      {"--subject", into(options.subject)},
      {"--text", into(options.text)},
      {"--attach", intoOptional(options.attach)},
      {"--voice", intoOptional(options.voice)},
      {"--picture", intoOptional(options.picture)},
  };

  bool sawServer = false, sawFrom = false, sawName = false, sawTo = false;
  bool messagePart = false, clearPicture = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string option = arguments[i];
    std::optional<std::string> value;
    if (const auto equals = option.find('=');
        option.starts_with("--") && equals != std::string::npos) {
      value = option.substr(equals + 1);
      option.resize(equals);
    }
    if (option == "--help" || option == "-h") {
      options.help = true;
      return {};
    }
    if (option == "--clear-picture") {
      if (value) return Fail("--clear-picture takes no value");
      clearPicture = true;
      continue;
    }
    const auto setter = valued.find(option);
    if (setter == valued.end()) return Fail("unknown option '" + arguments[i] + "' (see --help)");
    if (!value) {
      if (i + 1 >= arguments.size()) return Fail(option + " needs a value");
      value = arguments[++i];
    }
    if (ParseResult set = setter->second(*value); !set.ok) {
      if (!set.error.starts_with("--")) set.error = option + ": " + set.error;
      return set;
    }
    sawServer |= option == "--server";
    sawFrom |= option == "--from";
    sawName |= option == "--name";
    sawTo |= option == "--to";
    messagePart |= option == "--to" || option == "--subject" || option == "--text" ||
                   option == "--attach" || option == "--voice";
  }

  if (!sawServer) return Fail("--server HOST[:PORT] is required");
  if (!sawFrom) return Fail("--from ADDRESS is required");
  if (!sawName || options.name.empty()) return Fail("--name NAME is required");
  if (options.picture && clearPicture) return Fail("give either --picture or --clear-picture");
  if (options.picture || clearPicture) {
    // A picture registration carries only the sender: message parts would be dropped.
    if (messagePart) {
      return Fail(
          "--picture and --clear-picture take no --to, --subject, --text, --attach or --voice");
    }
    options.mode = clearPicture ? SendMode::ClearPicture : SendMode::RegisterPicture;
    return {};
  }
  if (!sawTo) return Fail("--to ADDRESSES is required for a message");
  options.mode = SendMode::Message;
  return {};
}

std::string SendUsageText() {
  return "Usage:\n"
         "  murmelpost-send --server HOST[:PORT] --from ADDRESS --name NAME [--title Mr.|Ms.]\n"
         "                  --to ADDRESSES [--subject TEXT] [--text TEXT] [--attach FILE]\n"
         "                  [--voice AUDIOFILE]\n"
         "  murmelpost-send --server HOST[:PORT] --from ADDRESS --name NAME [--title Mr.|Ms.]\n"
         "                  --picture FILE | --clear-picture\n"
         "\n"
         "Sends one voice message to a Murmelpost transfer server, or registers (or clears)\n"
         "the sender's custom message picture, exactly as the handheld client does.\n"
         "\n"
         "  --server     transfer server: a host name or an IPv4 address (IPv4 only);\n"
         "               the port defaults to 110\n"
         "  --from       the sender's e-mail address\n"
         "  --name       the sender's full name\n"
         "  --title      form of address, Mr. (default) or Ms.\n"
         "  --to         recipients, separated by commas, semicolons or blanks\n"
         "  --subject    subject line (at most 1023 characters)\n"
         "  --text       message text (at most 1023 characters)\n"
         "  --attach     a file to attach\n"
         "  --voice      any audio file libsndfile reads (WAV, FLAC, Ogg, ...); converted to\n"
         "               8 kHz mono and GSM 06.10, at most 64 s\n"
         "  --picture    a GIF or JPEG of at most 100K shown with the sender's messages\n"
         "  --clear-picture  go back to the server's random picture\n"
         "\n"
         "A message needs at least one of --text, --attach and --voice.\n"
         "\n"
         "The transfer's percentage goes to stderr: on a terminal one line rewritten in\n"
         "place, otherwise one 'progress N%' line per step. A sent message is summed up\n"
         "on stdout in one line.\n"
         "Exit status: 0 sent, 1 the send failed, 2 bad usage or input (nothing was sent).\n";
}

}  // namespace murmel::send_tool
