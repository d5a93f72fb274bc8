#include "server/log_limit.h"

#include <gtest/gtest.h>

namespace murmel::server {
namespace {

TEST(LogLimit, WritesTheFirstFewOfAKindEachMinuteAndSumsUpTheRest) {
  std::chrono::steady_clock::time_point now{};
  std::vector<std::string> written;
  LogLimit limit([&](const std::string& line) { written.push_back(line); }, 2, [&] { return now; });
  struct Step {
    int second;
    const char* kind;  // nullptr: Flush
    const char* line;
    std::vector<std::string> expected;
  };
  const Step steps[] = {
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
  for (const Step& step : steps) {
    written.clear();
    now = std::chrono::steady_clock::time_point{} + std::chrono::seconds(step.second);
    if (step.kind == nullptr) {
      limit.Flush();
    } else {
      limit.Log(step.kind, step.line);
    }
    EXPECT_EQ(written, step.expected) << "at second " << step.second;
  }
}

}  // namespace
}  // namespace murmel::server
