// Who may open a session or have a message accepted now. One address cannot hold the
// server's sessions, nor one address or one sender its acceptances: concurrent sessions
// per address, accepted messages per hour per address and per sender. Lives on the I/O
// thread, so nothing here locks.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "server/limits.h"

namespace murmel::server {

// The unit that limits count: an IPv4 address, or the /64 an IPv6 host is handed whole.
std::string ClientKey(std::string_view address);

class Fairness {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  // maxKeys bounds each table, so that an attacker with many addresses or sender names
  // cannot grow it without end; the lightest users are forgotten first.
  explicit Fairness(const Limits& limits, std::size_t maxKeys = 65536,
                    Clock clock = std::chrono::steady_clock::now);

  // Why a connection from address is refused now, or empty: then it counts until Leave.
  std::string Admit(std::string_view address);
  void Leave(std::string_view address);
  // Why a message from sender (its AddressKey) over this connection would be refused.
  std::string CheckSender(std::string_view address, const std::string& sender);
  void Accepted(std::string_view address, const std::string& sender);

  std::size_t trackedKeys() const { return addresses_.size() + senders_.size(); }

 private:
  // An hour's count and the hour's before it, weighted by how much of it still lies
  // within the last 60 minutes: a sliding hour in three numbers per key.
  struct Count {
    std::size_t sessions = 0;
    std::uint64_t previous = 0, current = 0;
    std::int64_t hour = 0;
  };
  using Table = std::unordered_map<std::string, Count>;

  using TimePoint = std::chrono::steady_clock::time_point;
  static std::uint64_t InLastHour(Count& count, TimePoint now);
  static bool Empty(const Count& count) {
    return count.sessions == 0 && count.previous == 0 && count.current == 0;
  }
  std::uint64_t Recent(Table& table, const std::string& key, TimePoint now);
  Count& Slot(Table& table, const std::string& key, TimePoint now);

  Limits limits_;
  std::size_t maxKeys_;
  Clock clock_;
  Table addresses_, senders_;
};

}  // namespace murmel::server
