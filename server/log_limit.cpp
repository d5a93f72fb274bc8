#include "server/log_limit.h"

#include <utility>

namespace murmel::server {

LogLimit::LogLimit(Sink sink, std::size_t perMinute, Clock clock)
    : sink_(std::move(sink)), perMinute_(perMinute), clock_(std::move(clock)) {}

void LogLimit::Log(const std::string& kind, const std::string& line) {
  const auto now = clock_();
  auto [it, fresh] = kinds_.try_emplace(kind, Minute{now});
  Minute& minute = it->second;
  if (!fresh && now - minute.start >= std::chrono::minutes(1)) {
    Summarise(kind, minute);
    minute = Minute{now};
  }
  if (minute.written < perMinute_) {
    ++minute.written;
    sink_(line);
  } else {
    ++minute.dropped;
  }
}

void LogLimit::Flush() {
  const auto now = clock_();
  for (auto it = kinds_.begin(); it != kinds_.end();) {
    if (now - it->second.start < std::chrono::minutes(1)) {
      ++it;
      continue;
    }
    Summarise(it->first, it->second);
    it = kinds_.erase(it);
  }
}

void LogLimit::Summarise(const std::string& kind, const Minute& minute) {
  if (minute.dropped > 0) {
    sink_(kind + ": " + std::to_string(minute.dropped) + " more in the last minute");
  }
}

}  // namespace murmel::server
