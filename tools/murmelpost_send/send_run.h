// The whole of murmelpost-send behind main(): parse, fill the form, run the client's
// session, report. Exit status 0 sent, 1 the send failed, 2 bad usage or input.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace murmel::send_tool {

constexpr int EXIT_SENT = 0;
constexpr int EXIT_SEND_FAILED = 1;
constexpr int EXIT_BAD_INPUT = 2;

// Help goes to out; progress lines, warnings and errors to err.
int RunSendTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace murmel::send_tool
