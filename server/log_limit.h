// Log lines that a peer can multiply (refusals, failed sessions, failed accepts): the
// first few of a kind each minute are written, the rest counted and summed up in one line
// once the minute is over, so a flood of connections cannot flood the journal.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <string>

namespace murmel::server {

class LogLimit {
 public:
  using Sink = std::function<void(const std::string&)>;
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  explicit LogLimit(Sink sink, std::size_t perMinute = 10,
                    Clock clock = std::chrono::steady_clock::now);

  // kind names the lines in the summary: "<kind>: 2743 more in the last minute".
  void Log(const std::string& kind, const std::string& line);
  // Sums up the minutes that are over. Call it now and then: a burst's count should
  // appear even when no line of its kind follows.
  void Flush();

 private:
  struct Minute {
    std::chrono::steady_clock::time_point start;
    std::size_t written = 0, dropped = 0;
  };
  void Summarise(const std::string& kind, const Minute& minute);

  Sink sink_;
  std::size_t perMinute_;
  Clock clock_;
  std::map<std::string, Minute> kinds_;  // a handful of fixed kinds
};

}  // namespace murmel::server
