// Puts the command line into the application state the way the main window, the profile
// and the attach dialog would, so the client's sessions read it unchanged.
#pragma once

#include <string>
#include <vector>

#include "tools/murmelpost_send/send_options.h"

namespace murmel::send_tool {

struct FormResult {
  bool ok = false;
  std::string error;                  // bad input: nothing may be sent
  std::vector<std::string> warnings;  // sent anyway, but the user should know
};

// A custom picture must not exceed 100K, as the picture menu command refuses larger files.
constexpr long long MAX_PICTURE_BYTES = 102400;

// Profile and endpoint for both modes; the message's fields or the picture's for the mode.
// Every check that the handheld makes before it connects happens here.
FormResult FillApplicationState(const SendOptions& options);

// "\"name\" <email>" from the profile, as both sessions send it.
std::u16string SenderString();

}  // namespace murmel::send_tool
