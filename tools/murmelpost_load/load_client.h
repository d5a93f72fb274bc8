// One simulated handheld client: the transfer protocol as the client speaks it, one frame
// at a time, each written as header, payload and trailer, then the 4-byte reply.
#pragma once

#include <asio/awaitable.hpp>
#include <asio/ip/tcp.hpp>
#include <atomic>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tools/murmelpost_load/load_options.h"

namespace murmel::load {

using Bytes = std::vector<std::uint8_t>;

// What all clients share: where to connect and the bytes every message carries.
struct Plan {
  LoadOptions options;
  asio::ip::tcp::endpoint server;
  Bytes voice;       // a voice image: the 60-byte header, then GSM blocks
  Bytes attachment;  // empty unless --attachment
  std::function<void(const std::string& subject)> onAnswered;  // may run on either thread
  std::atomic<bool> stopping{false};  // set by SIGINT/SIGTERM: start no further messages
};

// Fills in the bytes every message carries.
void PreparePlan(Plan& plan);

// One client's results; merged by the caller after the run.
struct Tally {
  int attempted = 0;
  int accepted = 0;
  std::vector<double> latencyMs;  // "FINI" sent to its "TROK" read
  std::map<std::string, int> refused;
  std::map<std::string, int> failed;
  void Add(const Tally& other);
};

// Sends the client's messages one after the other, each on a fresh connection.
asio::awaitable<void> RunClient(const Plan& plan, int client, Tally& tally);

// The source address of the n-th connection: 127.0.0.1 .. 127.0.0.count in turn.
asio::ip::address SourceAddress(int n, int count);

// Opens the n-th idle connection and reads the greeting. On success (an empty result) the
// connection stays open for as long as `held` holds it.
asio::awaitable<std::string> OpenIdle(const Plan& plan, int n, std::shared_ptr<void>& held);

}  // namespace murmel::load
