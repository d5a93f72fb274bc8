// The command line of murmelpost-send: one voice message, or one custom picture
// registration or clearing, for the same sender options.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace murmel::send_tool {

enum class SendMode { Message, RegisterPicture, ClearPicture };

struct SendOptions {
  SendMode mode = SendMode::Message;
  std::string host;
  int port = 0;  // 0: the transfer server's own port
  std::string from;
  std::string name;
  std::string title = "Mr.";
  std::string to;
  std::string subject;
  std::string text;
  std::optional<std::string> attach;
  std::optional<std::string> voice;
  std::optional<std::string> picture;
  bool help = false;
};

struct ParseResult {
  bool ok = true;
  std::string error;  // names the option and what it expects
};

// Checks the shape of the command line only; addresses and files are checked when the
// message is prepared, because that needs the client's own rules.
ParseResult ParseSendOptions(const std::vector<std::string>& arguments, SendOptions& options);

std::string SendUsageText();

}  // namespace murmel::send_tool
