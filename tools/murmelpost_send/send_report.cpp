#include "tools/murmelpost_send/send_report.h"

#include <winsock2.h>

#include <cstdio>

#include "transfer/send_session.h"

namespace murmel::send_tool {
namespace {

// The session reports through a plain function pointer, so the display lives here.
ProgressDisplay* activeDisplay = nullptr;

bool IsLookupFailure(DWORD error) {
  return error == WSAHOST_NOT_FOUND || error == WSATRY_AGAIN || error == WSANO_RECOVERY ||
         error == WSANO_DATA;
}

// Why connect() failed, or null when the code is not one of connect()'s.
const char* ConnectFailure(DWORD error) {
  switch (error) {
    case WSAECONNREFUSED:
      return "refused the connection";
    case WSAETIMEDOUT:
      return "did not answer the connection (timed out)";
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
      return "cannot be reached from here (no route)";
    default:
      return nullptr;
  }
}

}  // namespace

ProgressDisplay::ProgressDisplay(std::ostream& err, bool terminal)
    : err_(err), terminal_(terminal) {
  activeDisplay = this;
  SetTransferProgressObserver(Show);
}

ProgressDisplay::~ProgressDisplay() {
  SetTransferProgressObserver(nullptr);
  activeDisplay = nullptr;
  Finish();
}

void ProgressDisplay::Show(int percent) {
  if (activeDisplay != nullptr) activeDisplay->Print(percent);
}

// One write per line: on the unbuffered stderr each insertion is a system call of its
// own, and this runs once per data frame.
void ProgressDisplay::Print(int percent) {
  if (terminal_) {
    if (percent == last_) return;
    char line[32];
    std::snprintf(line, sizeof line, "\rprogress %3d%%", percent);
    err_ << line << std::flush;
    lineOpen_ = true;
  } else {
    err_ << ("progress " + std::to_string(percent) + "%\n") << std::flush;
  }
  last_ = percent;
}

void ProgressDisplay::Finish() {
  if (lineOpen_) err_ << '\n' << std::flush;
  lineOpen_ = false;
}

std::string DescribeSendFailure(DWORD lastError, int percent, const std::string& host,
                                const std::string& server) {
  if (IsLookupFailure(lastError)) {
    // The client looks a dotted address up by name too, and gives up when it has none.
    const bool dotted = !host.empty() && host[0] >= '0' && host[0] <= '9';
    return "the server host '" + host + "' was not found" +
           (dotted ? " (the client looks an address up by name: it needs a name in /etc/hosts "
                     "or DNS)"
                   : "");
  }
  const char* connectFailure = ConnectFailure(lastError);
  if (percent < 0 && connectFailure != nullptr) {
    return "the server " + server + " " + connectFailure;
  }
  return "the server " + server + " broke off the transfer" +
         (percent >= 0 ? " at " + std::to_string(percent) + "%" : "") +
         ": it refused a command or closed the connection";
}

std::string MessageSummary(int recipients, double voiceSeconds, DWORD bytes) {
  char voice[32] = "no voice";
  if (voiceSeconds > 0) std::snprintf(voice, sizeof voice, "%.2f s of voice", voiceSeconds);
  char line[128];
  std::snprintf(line, sizeof line, "sent to %d recipient%s: %s, %lu bytes", recipients,
                recipients == 1 ? "" : "s", voice, static_cast<unsigned long>(bytes));
  return line;
}

}  // namespace murmel::send_tool
