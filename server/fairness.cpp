#include "server/fairness.h"

#include <algorithm>
#include <asio/ip/address.hpp>
#include <utility>
#include <vector>

namespace murmel::server {
namespace {

constexpr std::uint64_t kHourMs = std::uint64_t{3600} * 1000;

std::string Over(std::uint64_t recent, const char* whose) {
  return std::to_string(recent) + " messages from this " + whose + " in the last hour";
}

}  // namespace

std::string ClientKey(std::string_view address) {
  std::error_code error;
  const asio::ip::address parsed = asio::ip::make_address(std::string(address), error);
  if (error || !parsed.is_v6()) return std::string(address);
  if (parsed.to_v6().is_v4_mapped()) {
    return asio::ip::make_address_v4(asio::ip::v4_mapped, parsed.to_v6()).to_string();
  }
  asio::ip::address_v6::bytes_type bytes = parsed.to_v6().to_bytes();
  std::fill(bytes.begin() + 8, bytes.end(), 0);
  return asio::ip::address_v6(bytes).to_string() + "/64";
}

Fairness::Fairness(const Limits& limits, std::size_t maxKeys, Clock clock)
    : limits_(limits), maxKeys_(std::max<std::size_t>(maxKeys, 1)), clock_(std::move(clock)) {}

std::uint64_t Fairness::InLastHour(Count& count, TimePoint now) {
  using std::chrono::milliseconds;
  const milliseconds since = std::chrono::duration_cast<milliseconds>(now.time_since_epoch());
  const std::int64_t hour = since.count() / static_cast<std::int64_t>(kHourMs);
  if (hour != count.hour) {
    const bool next = hour == count.hour + 1;
    count.previous = next ? count.current : 0;
    count.othersPrevious = next ? count.othersCurrent : 0;
    count.unsharedPrevious = next ? count.unsharedCurrent : 0;
    count.current = count.othersCurrent = count.unsharedCurrent = 0;
    count.hour = hour;
  }
  const auto intoHour = static_cast<std::uint64_t>(since.count()) % kHourMs;
  return count.current + count.othersCurrent +
         (count.previous + count.othersPrevious) * (kHourMs - intoHour) / kHourMs;
}

std::uint64_t Fairness::Recent(Table& table, const std::string& key, TimePoint now) {
  const auto found = table.find(key);
  return found == table.end() ? 0 : InLastHour(found->second, now);
}

Fairness::Count& Fairness::Slot(Table& table, const std::string& key, TimePoint now) {
  auto found = table.find(key);
  if (found == table.end() && table.size() >= maxKeys_) {
    std::vector<std::pair<std::uint64_t, Table::iterator>> idle;
    for (auto it = table.begin(); it != table.end();) {
      const std::uint64_t recent = InLastHour(it->second, now);
      if (Empty(it->second)) {
        it = table.erase(it);
        continue;
      }
      if (it->second.sessions == 0) idle.emplace_back(recent, it);
      ++it;
    }
    // Still full: forget the lightest quarter at once, so that this scan stays rare. Keys
    // with open sessions stay; there are at most --max-sessions of them.
    if (table.size() >= maxKeys_ && !idle.empty()) {
      const std::size_t drop = std::min(idle.size(), std::max<std::size_t>(maxKeys_ / 4, 1));
      std::nth_element(idle.begin(), idle.begin() + static_cast<std::ptrdiff_t>(drop - 1),
                       idle.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
      for (std::size_t i = 0; i < drop; ++i) table.erase(idle[i].second);
    }
  }
  if (found == table.end()) found = table.try_emplace(key).first;
  InLastHour(found->second, now);  // an hour that is over must not take the new count
  return found->second;
}

std::string Fairness::Admit(std::string_view address) {
  const TimePoint now = clock_();
  const std::string key = ClientKey(address);
  Count& count = Slot(addresses_, key, now);
  std::string refusal;
  if (count.sessions >= limits_.maxSessionsPerIp) {
    refusal = std::to_string(count.sessions) + " sessions from this address already open";
  } else if (const std::uint64_t recent = InLastHour(count, now);
             recent >= limits_.maxMessagesPerIp) {
    refusal = Over(recent, "address");
  } else {
    ++count.sessions;
    return {};
  }
  if (Empty(count)) addresses_.erase(key);
  return refusal;
}

void Fairness::Leave(std::string_view address) {
  const auto found = addresses_.find(ClientKey(address));
  if (found == addresses_.end() || found->second.sessions == 0) return;
  --found->second.sessions;
  InLastHour(found->second, clock_());
  if (Empty(found->second)) addresses_.erase(found);
}

std::string Fairness::CheckSender(std::string_view address, const std::string& sender) {
  const TimePoint now = clock_();
  if (const std::uint64_t recent = Recent(senders_, sender, now);
      recent >= limits_.maxMessagesPerSender) {
    return Over(recent, "sender");
  }
  // Sessions opened together all passed Admit under the cap.
  if (const std::uint64_t recent = Recent(addresses_, ClientKey(address), now);
      recent >= limits_.maxMessagesPerIp) {
    return Over(recent, "address");
  }
  return {};
}

void Fairness::Accepted(std::string_view address, const std::string& sender) {
  const TimePoint now = clock_();
  for (Count* count : {&Slot(addresses_, ClientKey(address), now), &Slot(senders_, sender, now)}) {
    ++count->current;
    ++count->unsharedCurrent;
  }
}

std::int64_t Fairness::OldestHour() const {
  using std::chrono::hours;
  return std::chrono::duration_cast<hours>(clock_().time_since_epoch()).count() - 1;
}

std::vector<RateCount> Fairness::TakeUnshared() {
  const TimePoint now = clock_();
  std::vector<RateCount> taken;
  for (const RateKind kind : {RateKind::Address, RateKind::Sender}) {
    for (auto& [key, count] : TableOf(kind)) {
      InLastHour(count, now);
      if (count.unsharedPrevious > 0) {
        taken.push_back(
            {kind, key, count.hour - 1, static_cast<std::int64_t>(count.unsharedPrevious)});
      }
      if (count.unsharedCurrent > 0) {
        taken.push_back({kind, key, count.hour, static_cast<std::int64_t>(count.unsharedCurrent)});
      }
      count.unsharedPrevious = count.unsharedCurrent = 0;
    }
  }
  return taken;
}

void Fairness::KeepUnshared(const std::vector<RateCount>& counts) {
  const TimePoint now = clock_();
  for (const RateCount& kept : counts) {
    Table& table = TableOf(kept.kind);
    const auto found = table.find(kept.key);
    if (found == table.end()) continue;  // forgotten meanwhile: its count goes with it
    Count& count = found->second;
    InLastHour(count, now);
    const auto added = static_cast<std::uint64_t>(kept.count);
    if (kept.hour == count.hour) count.unsharedCurrent += added;
    if (kept.hour == count.hour - 1) count.unsharedPrevious += added;
  }
}

void Fairness::Shared(const std::vector<RateCount>& totals) {
  const TimePoint now = clock_();
  const std::int64_t oldest = OldestHour();
  for (const RateCount& total : totals) {
    if (total.count <= 0 || total.hour < oldest) continue;
    Count& count = Slot(TableOf(total.kind), total.key, now);
    // The store has all this server counted but what it has not added yet.
    const auto others = [&](std::uint64_t own, std::uint64_t unshared) -> std::uint64_t {
      const std::uint64_t stored = own - unshared;
      const auto all = static_cast<std::uint64_t>(total.count);
      return all > stored ? all - stored : 0;
    };
    if (total.hour == count.hour) {
      count.othersCurrent = others(count.current, count.unsharedCurrent);
    } else if (total.hour == count.hour - 1) {
      count.othersPrevious = others(count.previous, count.unsharedPrevious);
    }
  }
}

}  // namespace murmel::server
