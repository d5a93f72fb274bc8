// murmelpost-server: receives voice messages over the transfer protocol and delivers them
// as e-mail into a Maildir outbox.
#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>

#include <cstdlib>
#include <iostream>

#include "server/delivery.h"
#include "server/options.h"
#include "server/server.h"

int main(int argc, char** argv) {
  using namespace murmel::server;
  const char* home = std::getenv("HOME");
  const char* state = std::getenv("XDG_STATE_HOME");
  Options options;
  const ParseResult parsed = ParseOptions(std::vector<std::string>(argv + 1, argv + argc),
                                          home ? home : "", state ? state : "", options);
  if (!parsed.ok) {
    std::cerr << "murmelpost-server: " << parsed.error << "\n";
    return 2;
  }
  if (options.help) {
    std::cout << UsageText();
    return 0;
  }

  Delivery delivery(options.stateDir);
  if (const IoResult opened = delivery.Open(); !opened.ok) {
    std::cerr << "murmelpost-server: " << opened.error << "\n";
    return 1;
  }
  asio::io_context io(1);
  Server server(io, options, delivery,
                [](const std::string& line) { std::cerr << line << std::endl; });
  if (const IoResult listening = server.Listen(); !listening.ok) {
    std::cerr << "murmelpost-server: " << listening.error << "\n";
    return 1;
  }
  asio::signal_set signals(io, SIGINT, SIGTERM);
  signals.async_wait([&](const std::error_code&, int) { io.stop(); });
  std::cerr << "murmelpost-server: listening on port " << server.port() << ", outbox "
            << delivery.outboxRoot().string() << std::endl;
  server.Start();
  io.run();
  return 0;
}
