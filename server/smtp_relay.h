// Sends the e-mail in the Maildir outbox on through an SMTP relay, on its own thread.
// The outbox stays the spool: a file leaves new/ only by rename, into sent/ after the
// relay's final 250 or into failed/ when the relay refuses it for good, so a crash or a
// restart loses nothing (at worst a message sent just before a crash goes out twice).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "server/durable_file.h"
#include "server/gmime_support.h"
#include "server/options.h"
#include "server/smtp_send.h"

namespace murmel::server {

struct RelaySchedule {
  std::chrono::milliseconds firstRetry{5000};
  std::chrono::milliseconds longestRetry{600000};
  // Files put into new/ by other hands (or moved back from failed/) are found this often.
  std::chrono::milliseconds rescan{30000};
  SmtpTimeouts timeouts;
};

// A stored message's header block only, parsed; null when the text is not a message.
GObjectPtr<GMimeMessage> ParseMailHeaders(std::string_view mail);

// The envelope recipients: every address of the To and Cc headers, groups opened,
// duplicates dropped. Empty when the text is not a message.
std::vector<std::string> MessageRecipients(GMimeMessage* message);
std::vector<std::string> MailRecipients(std::string_view mail);

// LF line ends to CRLF; CRLF already there stays as it is.
std::string WithCrlf(std::string_view text);

class SmtpRelay {
 public:
  using Log = std::function<void(const std::string&)>;
  // A file left new/ for good: sent is false for failed/; reason is the relay's last word.
  using Moved = std::function<void(const std::string& name, bool sent, const std::string& reason)>;
  // The recipients recorded when the file was accepted; nullopt while it has no record
  // (its acceptance is not complete, and may yet be undone). Never read from the headers:
  // the envelope is what the server parsed, not what a header says.
  using Envelope = std::function<std::optional<std::vector<std::string>>(const std::string& name)>;

  SmtpRelay(std::filesystem::path outboxRoot, SmtpRelayOptions relay, RelaySchedule schedule,
            Envelope envelope, Log log);
  SmtpRelay(const SmtpRelay&) = delete;
  SmtpRelay& operator=(const SmtpRelay&) = delete;
  ~SmtpRelay() { Stop(); }

  // Creates sent/ and failed/ and starts the thread, which first sends what new/ holds.
  IoResult Start();
  // Runs on the relay thread after each move; set before Start.
  void OnMoved(Moved hook) { onMoved_ = std::move(hook); }
  // A new file is in new/. Cheap and non-blocking: called from the accepting thread.
  void Wake();
  // Returns promptly even while the relay is silent; a transfer in flight is abandoned
  // before its final "." and the file stays in new/.
  void Stop();

 private:
  using Clock = std::chrono::steady_clock;
  struct Backoff {
    std::chrono::milliseconds delay{0};
    Clock::time_point due{};
  };

  void Run();
  // Sends what is due; returns when the next pass is needed.
  Clock::time_point Pass();
  // false when the relay cannot be used now: the rest of the pass waits with it.
  bool Relay(const std::string& name);
  void MoveTo(const std::string& name, const char* folder, const std::string& reason);
  std::chrono::milliseconds Grow(std::chrono::milliseconds delay) const;

  std::filesystem::path root_;
  SmtpRelayOptions relay_;
  RelaySchedule schedule_;
  Envelope envelope_;
  Log log_;
  Moved onMoved_;

  std::map<std::string, Backoff> deferred_;  // per file in new/
  Backoff unreachable_;                      // the relay as a whole
  std::set<std::string> stuck_;              // sent, but could not be moved: never resend

  std::mutex mutex_;
  std::condition_variable wake_;
  bool woken_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace murmel::server
