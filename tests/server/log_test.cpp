#include "server/log.h"
#include "server/log_limit.h"

#include <gtest/gtest.h>

namespace murmel::server {
namespace {

// The journal reads the level from the prefix and adds its own time; elsewhere the line
// carries both. Either way a peer's text cannot start a line of its own.
TEST(Log, LinesCarryTheirLevelAndStayOneLine) {
  const auto now = std::chrono::system_clock::time_point(std::chrono::milliseconds(1798761600042));
  const std::tuple<LogLevel, bool, const char*> cases[] = {
      {LogLevel::Error, true, "<3>peer said x <6>forged y"},
      {LogLevel::Warning, true, "<4>peer said x <6>forged y"},
      {LogLevel::Info, false, "2027-01-01T00:00:00.042Z info peer said x <6>forged y"},
      {LogLevel::Notice, false, "2027-01-01T00:00:00.042Z notice peer said x <6>forged y"},
  };
  for (const auto& [level, journal, line] : cases)
    EXPECT_EQ(FormatLogLine(level, "peer said x\n<6>forged\ry", journal, now), line);
}

TEST(LogLimit, WritesTheFirstFewOfAKindEachMinuteAndSumsUpTheRest) {
  std::chrono::steady_clock::time_point now{};
  std::vector<std::string> written;
  LogLimit limit([&](const std::string& line) { written.push_back(line); }, 2, [&] { return now; });
  // The second, the kind and line logged (no kind: Flush), the lines written.
  const std::tuple<int, const char*, const char*, std::vector<std::string>> steps[] = {
      {0, "refused", "r1", {"r1"}},
      {1, "refused", "r2", {"r2"}},
      {2, "refused", "r3", {}},
      {3, "refused", "r4", {}},
      {4, "accept", "a1", {"a1"}},  // each kind has its own count
      {59, nullptr, nullptr, {}},   // the minute is not over
      {60, "refused", "r5", {"refused: 2 more in the last minute", "r5"}},
      {61, "refused", "r6", {"r6"}},
      {62, "refused", "r7", {}},
      {125, nullptr, nullptr, {"refused: 1 more in the last minute"}},  // none from "accept"
      {126, "refused", "r8", {"r8"}},
  };
  for (const auto& [second, kind, line, expected] : steps) {
    written.clear();
    now = std::chrono::steady_clock::time_point{} + std::chrono::seconds(second);
    kind == nullptr ? limit.Flush() : limit.Log(kind, line);
    EXPECT_EQ(written, expected) << "at second " << second;
  }
}

}  // namespace
}  // namespace murmel::server
