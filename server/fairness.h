// Who may open a session or have a message accepted now. One address cannot hold the
// server's sessions, nor one address or one sender its acceptances: concurrent sessions
// per address, accepted messages per hour per address and per sender. Lives on the I/O
// thread, so nothing here locks. Servers sharing a store share the hourly counts: each
// checks its own at once and adds what the others reported at their last exchange.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include <vector>

#include "server/limits.h"
#include "server/store.h"

namespace murmel::server {

// The unit that limits count: an IPv4 address, or the /64 an IPv6 host is handed whole.
std::string ClientKey(std::string_view address);

class Fairness {
 public:
  // Wall-clock hours, so that servers count the same hours.
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  // maxKeys bounds each table, so that an attacker with many addresses or sender names
  // cannot grow it without end; the lightest users are forgotten first.
  explicit Fairness(const Limits& limits, std::size_t maxKeys = 65536,
                    Clock clock = std::chrono::system_clock::now);

  // Why a connection from address is refused now, or empty: then it counts until Leave.
  std::string Admit(std::string_view address);
  void Leave(std::string_view address);
  // Why a message from sender (its AddressKey) over this connection would be refused.
  std::string CheckSender(std::string_view address, const std::string& sender);
  void Accepted(std::string_view address, const std::string& sender);

  // This server's acceptances not yet added to the store's counts; they count as added.
  std::vector<RateCount> TakeUnshared();
  // Those the store did not take, for the next exchange.
  void KeepUnshared(const std::vector<RateCount>& counts);
  // The store's totals, this server's added part included.
  void Shared(const std::vector<RateCount>& totals);
  // The hour a shared count must be from to still matter.
  std::int64_t OldestHour() const;

  std::size_t trackedKeys() const { return addresses_.size() + senders_.size(); }

 private:
  // An hour's count and the hour's before it, weighted by how much of it still lies
  // within the last 60 minutes: a sliding hour in three numbers per key.
  // Counts are this server's own; others' are what the other servers had in the store.
  struct Count {
    std::size_t sessions = 0;
    std::uint64_t previous = 0, current = 0;
    std::uint64_t othersPrevious = 0, othersCurrent = 0;
    std::uint64_t unsharedPrevious = 0, unsharedCurrent = 0;
    std::int64_t hour = 0;
  };
  using Table = std::unordered_map<std::string, Count>;

  using TimePoint = std::chrono::system_clock::time_point;
  static std::uint64_t InLastHour(Count& count, TimePoint now);
  static bool Empty(const Count& count) {
    return count.sessions == 0 && count.previous == 0 && count.current == 0 &&
           count.othersPrevious == 0 && count.othersCurrent == 0;
  }
  std::uint64_t Recent(Table& table, const std::string& key, TimePoint now);
  Count& Slot(Table& table, const std::string& key, TimePoint now);

  Limits limits_;
  std::size_t maxKeys_;
  Clock clock_;
  Table& TableOf(RateKind kind) { return kind == RateKind::Address ? addresses_ : senders_; }

  Table addresses_, senders_;
};

}  // namespace murmel::server
