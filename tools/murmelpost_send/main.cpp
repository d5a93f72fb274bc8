// murmelpost-send: sends one voice message (or a custom picture request) to a Murmelpost
// transfer server through the handheld client's own sessions.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "tools/murmelpost_send/send_run.h"

int main(int argc, char** argv) {
  return murmel::send_tool::RunSendTool(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                        std::cerr, isatty(STDERR_FILENO) == 1);
}
