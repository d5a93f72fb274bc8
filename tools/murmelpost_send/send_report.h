// What murmelpost-send tells its user about a transfer: its progress while it runs, why it
// failed, and what a sent message held.
#pragma once

#include <windows.h>

#include <ostream>
#include <string>

namespace murmel::send_tool {

// Shows every percentage the session reports while it lives: on a terminal one line
// rewritten in place, otherwise one "progress N%" line each, which scripts read.
class ProgressDisplay {
 public:
  ProgressDisplay(std::ostream& err, bool terminal);
  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;
  ~ProgressDisplay();

  // The last percentage shown, -1 before the connection opened.
  int last() const { return last_; }
  // Ends the rewritten line, so that what follows starts a line of its own.
  void Finish();

 private:
  static void Show(int percent);
  void Print(int percent);

  std::ostream& err_;
  bool terminal_;
  int last_ = -1;
  bool lineOpen_ = false;
};

// Why a send failed, from the WinSock code the session left as the last error and the
// last percentage shown (-1: none, so the connection may never have opened). server is
// "host:port".
std::string DescribeSendFailure(DWORD lastError, int percent, const std::string& host,
                                const std::string& server);

// "sent to 2 recipients: 3.84 s of voice, 1108 bytes".
std::string MessageSummary(int recipients, double voiceSeconds, DWORD bytes);

}  // namespace murmel::send_tool
