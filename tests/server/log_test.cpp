#include "server/log.h"

#include <gtest/gtest.h>

namespace murmel::server {
namespace {

// The journal reads the level from the prefix and adds its own time; elsewhere the line
// carries both. Either way a peer's text cannot start a line of its own.
TEST(Log, LinesCarryTheirLevelAndStayOneLine) {
  const auto now = std::chrono::system_clock::time_point(std::chrono::milliseconds(1798761600042));
  struct Case {
    LogLevel level;
    bool journal;
    const char* line;
  };
  const Case cases[] = {
      {LogLevel::Error, true, "<3>peer said x <6>forged y"},
      {LogLevel::Warning, true, "<4>peer said x <6>forged y"},
      {LogLevel::Info, false, "2027-01-01T00:00:00.042Z info peer said x <6>forged y"},
      {LogLevel::Notice, false, "2027-01-01T00:00:00.042Z notice peer said x <6>forged y"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatLogLine(c.level, "peer said x\n<6>forged\ry", c.journal, now), c.line);
  }
}

}  // namespace
}  // namespace murmel::server
