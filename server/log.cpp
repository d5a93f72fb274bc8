#include "server/log.h"

#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

namespace murmel::server {
namespace {

std::atomic<LogLevel> threshold{LogLevel::Info};

const char* LevelName(LogLevel level) {
  switch (level) {
    case LogLevel::Error:
      return "error";
    case LogLevel::Warning:
      return "warning";
    case LogLevel::Notice:
      return "notice";
    case LogLevel::Info:
      return "info";
    case LogLevel::Debug:
      return "debug";
  }
  return "info";
}

}  // namespace

void SetLogThreshold(LogLevel level) { threshold = level; }

std::string FormatLogLine(LogLevel level, std::string_view message, bool journal,
                          std::chrono::system_clock::time_point now) {
  std::string line;
  if (journal) {
    line = "<" + std::to_string(static_cast<int>(level)) + ">";
  } else {
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(millis / 1000);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char stamp[40];
    const std::size_t length = std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &parts);
    std::snprintf(stamp + length, sizeof stamp - length, ".%03dZ ",
                  static_cast<int>(millis % 1000));
    line = stamp;
    line += LevelName(level);
    line += ' ';
  }
  // A message is one line: a peer's text must not forge another.
  for (const char c : message) line += c == '\n' || c == '\r' ? ' ' : c;
  return line;
}

bool StderrIsJournal() {
  const char* stream = std::getenv("JOURNAL_STREAM");
  if (stream == nullptr) return false;
  unsigned long long device = 0, inode = 0;
  if (std::sscanf(stream, "%llu:%llu", &device, &inode) != 2) return false;
  struct stat status {};
  return ::fstat(2, &status) == 0 && status.st_dev == device && status.st_ino == inode;
}

void Log(LogLevel level, std::string_view message) {
  if (static_cast<int>(level) > static_cast<int>(threshold.load())) return;
  static const bool journal = StderrIsJournal();
  static std::mutex writing;
  const std::string line =
      FormatLogLine(level, message, journal, std::chrono::system_clock::now()) + "\n";
  const std::lock_guard lock(writing);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace murmel::server
