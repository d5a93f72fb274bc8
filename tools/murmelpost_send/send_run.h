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

// Help and the summary of a sent message go to out; progress, warnings and errors to err,
// the progress as one line rewritten in place when err is a terminal.
int RunSendTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                bool errIsTerminal = false);

}  // namespace murmel::send_tool
