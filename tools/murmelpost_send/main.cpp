// murmelpost-send: sends one voice message (or a custom picture request) to a Murmelpost
// transfer server through the handheld client's own sessions.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "tools/murmelpost_send/send_run.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::cout << "murmelpost-send " MURMELPOST_VERSION "\n";
    return 0;
  }
  return murmel::send_tool::RunSendTool(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                        std::cerr, isatty(STDERR_FILENO) == 1);
}
