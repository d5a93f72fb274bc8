// The command line of murmelpost-server.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "server/limits.h"

namespace murmel::server {

struct Options {
  std::string listenAddress = "::";  // dual-stack where the host allows
  std::uint16_t port = 110;
  // The help site that the client's Help menu opens.
  bool http = true;
  bool httpExplicit = false;      // asked for with --http: failing to bind it is then fatal
  std::string httpAddress;        // empty until parsed: then the transfer listener's
  std::uint16_t httpPort = 8110;  // 0: any free port
  // Where the links in picture confirmation e-mails point; empty: http://localhost:<port>.
  std::string publicUrl;
  std::filesystem::path stateDir;
  Limits limits;
  bool quickAck = true;  // off only to measure what it saves
  bool help = false;
};

struct ParseResult {
  bool ok = true;
  std::string error;  // says which option and what is expected
};

// environmentHome and environmentState are $HOME and $XDG_STATE_HOME (either may be empty).
ParseResult ParseOptions(const std::vector<std::string>& arguments,
                         const std::string& environmentHome, const std::string& environmentState,
                         Options& options);

std::string UsageText();

}  // namespace murmel::server
