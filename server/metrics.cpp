#include "server/metrics.h"

#include <cstdio>

namespace murmel::server {
namespace {

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

void Metric(std::string& out, const std::string& name, const char* type, const std::string& help) {
  out += "# HELP " + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

void Counter(std::string& out, const std::string& name, const std::string& help,
             std::uint64_t value) {
  Metric(out, name, "counter", help);
  out += name + " " + std::to_string(value) + "\n";
}

}  // namespace

void Histogram::Observe(std::chrono::steady_clock::duration elapsed) {
  const double seconds = std::chrono::duration<double>(elapsed).count();
  std::size_t bucket = 0;
  while (bucket < kBounds.size() && seconds > kBounds[bucket]) ++bucket;
  ++buckets_[bucket];
  sumNanoseconds_ += static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count());
}

std::string Histogram::Render(const std::string& name, const std::string& help) const {
  std::string out;
  Metric(out, name, "histogram", help);
  // Buckets are cumulative in the format; each is read once, so count equals +Inf.
  std::uint64_t cumulative = 0;
  for (std::size_t i = 0; i < buckets_.size(); ++i) {
    cumulative += buckets_[i].load();
    const std::string bound = i < kBounds.size() ? Number(kBounds[i]) : "+Inf";
    out += name;
    out += "_bucket{le=\"" + bound + "\"} " + std::to_string(cumulative) + "\n";
  }
  out += name + "_sum " + Number(static_cast<double>(sumNanoseconds_.load()) / 1e9) + "\n";
  out += name + "_count " + std::to_string(cumulative) + "\n";
  return out;
}

std::string Metrics::Render(std::uint64_t queueDepth, std::uint64_t composing) const {
  std::string out;
  Metric(out, "murmelpost_sessions_open", "gauge", "Transfer connections open now.");
  out += "murmelpost_sessions_open " + std::to_string(sessionsOpen.load()) + "\n";
  Counter(out, "murmelpost_messages_accepted_total", "Messages made durable and answered TROK.",
          accepted.load());
  Metric(out, "murmelpost_messages_refused_total", "counter",
         "Connections and messages refused, by reason.");
  static constexpr const char* kReasons[] = {"session_cap", "malformed_frame", "protocol",
                                             "not_stored"};
  for (std::size_t i = 0; i < refused.size(); ++i) {
    out += std::string("murmelpost_messages_refused_total{reason=\"") + kReasons[i] + "\"} " +
           std::to_string(refused[i].load()) + "\n";
  }
  Counter(out, "murmelpost_messages_held_total", "Messages held until their sender confirms.",
          held.load());
  Counter(out, "murmelpost_senders_confirmed_total", "Sender addresses confirmed by their link.",
          confirmed.load());
  Counter(out, "murmelpost_messages_expired_total", "Held messages dropped unconfirmed.",
          expired.load());
  Metric(out, "murmelpost_relay_total", "counter", "Relay attempts per e-mail, by outcome.");
  out += "murmelpost_relay_total{outcome=\"sent\"} " + std::to_string(relaySent.load()) + "\n";
  out +=
      "murmelpost_relay_total{outcome=\"deferred\"} " + std::to_string(relayDeferred.load()) + "\n";
  out += "murmelpost_relay_total{outcome=\"failed\"} " + std::to_string(relayFailed.load()) + "\n";
  Metric(out, "murmelpost_queue_depth", "gauge", "E-mails waiting in the outbox's new folder.");
  out += "murmelpost_queue_depth " + std::to_string(queueDepth) + "\n";
  Metric(out, "murmelpost_composing", "gauge",
         "Accepted messages whose e-mail is still to be composed.");
  out += "murmelpost_composing " + std::to_string(composing) + "\n";
  out += fsyncSeconds.Render("murmelpost_fsync_seconds", "Time one fsync or syncfs took.");
  out += acceptanceSeconds.Render("murmelpost_acceptance_seconds",
                                  "From FINI to the message being durable.");
  return out;
}

Metrics& ServerMetrics() {
  static Metrics metrics;
  return metrics;
}

}  // namespace murmel::server
