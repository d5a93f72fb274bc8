// The server's log lines: each has a level. Under the journal the level travels as the
// syslog prefix that journald reads and the journal adds the time; elsewhere each line
// starts with an ISO 8601 UTC time and the level's name.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace murmel::server {

// Values are syslog priorities.
enum class LogLevel { Error = 3, Warning = 4, Notice = 5, Info = 6, Debug = 7 };

// Lines below this level are dropped.
void SetLogThreshold(LogLevel threshold);
// Writes one line to stderr; safe from any thread.
void Log(LogLevel level, std::string_view message);

// The line as written, without its newline.
std::string FormatLogLine(LogLevel level, std::string_view message, bool journal,
                          std::chrono::system_clock::time_point now);
// True when stderr is the journal's stream ($JOURNAL_STREAM names its device and inode).
bool StderrIsJournal();

}  // namespace murmel::server
