// What an operator's Prometheus scrapes from /metrics: counters and histograms that the
// transfer, delivery and relay threads bump without locks, rendered in the text format.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace murmel::server {

class Histogram {
 public:
  // Upper bounds in seconds, from 100 microseconds to 10 seconds.
  static constexpr std::array<double, 11> kBounds = {0.0001, 0.00025, 0.0005, 0.001, 0.0025, 0.005,
                                                     0.01,   0.025,   0.1,    1.0,   10.0};
  void Observe(std::chrono::steady_clock::duration elapsed);
  // Lines for name_bucket, name_sum and name_count.
  std::string Render(const std::string& name, const std::string& help) const;

 private:
  std::array<std::atomic<std::uint64_t>, kBounds.size() + 1> buckets_{};  // last: +Inf
  std::atomic<std::uint64_t> sumNanoseconds_{0};
};

// Why a message or a connection was refused; the label values of the refusal counter.
enum class Refusal { SessionCap, MalformedFrame, Protocol, NotStored, kCount };

struct Metrics {
  std::atomic<std::int64_t> sessionsOpen{0};
  std::atomic<std::uint64_t> accepted{0};
  std::array<std::atomic<std::uint64_t>, static_cast<std::size_t>(Refusal::kCount)> refused{};
  std::atomic<std::uint64_t> held{0}, confirmed{0}, expired{0};
  std::atomic<std::uint64_t> relaySent{0}, relayDeferred{0}, relayFailed{0};
  Histogram fsyncSeconds;
  Histogram acceptanceSeconds;

  void Refuse(Refusal why) { ++refused[static_cast<std::size_t>(why)]; }
  // queueDepth: e-mails waiting in the outbox for the relay (or the reader); composing:
  // accepted messages whose e-mail is not made yet.
  std::string Render(std::uint64_t queueDepth, std::uint64_t composing) const;
};

// The process's one set.
Metrics& ServerMetrics();

}  // namespace murmel::server
