// The command line of murmelpost-load: how many clients, what each sends, where to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace murmel::load {

struct LoadOptions {
  std::string host = "127.0.0.1";
  std::uint16_t port = 110;
  int clients = 10;
  int messages = 1;  // per client, each on a fresh connection as the client does
  int chunks = 1;    // 1024-byte voice chunks per message
  int idle = 0;      // > 0: only open this many connections and hold them
  int holdSeconds = 10;
  int pauseHalfway = 0;     // > 0: each voice upload waits this many seconds half-way
  long attachment = -1;     // >= 0: a second upload (type 10, named) of this many bytes
  int sourceAddresses = 1;  // spread connections over 127.0.0.1 .. 127.0.0.N
  int threads = 1;
  int timeoutSeconds = 120;  // per message or idle connection before it counts as failed
  std::string answered;      // file: one subject per message answered "TROK" to "FINI"
  std::string sender = "load@example.com";
  std::string recipient = "sink@example.com";
  std::string tag = "load";  // subjects are "<tag> <client>-<message>"
  bool help = false;
};

struct ParseResult {
  bool ok = true;
  std::string error;
};

ParseResult ParseLoadOptions(const std::vector<std::string>& arguments, LoadOptions& options);
std::string LoadUsageText();

}  // namespace murmel::load
