// Sends the e-mail in the Maildir outbox on through an SMTP relay, on its own thread.
// Each recipient is accepted, refused or deferred on its own, and its fate is kept in the
// catalogue: deferred recipients alone are tried again, until the queue lifetime is up.
// The outbox stays the spool: a file leaves new/ only by rename once every recipient is
// settled, into sent/ when one at least has it, else into failed/; so a crash or a restart
// loses nothing (at worst a recipient served just before a crash gets it twice).
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
#include "server/store.h"

namespace murmel::server {

struct RelaySchedule {
  std::chrono::milliseconds firstRetry{5000};
  std::chrono::milliseconds longestRetry{600000};
  // Files put into new/ by other hands (or moved back from failed/) are found this often.
  std::chrono::milliseconds rescan{30000};
  // A recipient still deferred this long after the message was accepted fails.
  std::chrono::seconds maxLifetime{std::chrono::hours(24 * 5)};
  SmtpTimeouts timeouts;
};

// A voice message whose recipients are all settled, some of them failed: what its
// sender's delivery report needs.
struct Undelivered {
  CatalogueRow row;
  std::vector<RecipientRecord> failed;
  std::string headers;  // the message's header block as stored
};

// The reply given to a recipient whose lifetime ran out while it was deferred.
inline constexpr char kExpiredPrefix[] = "expired: ";

// The header block of a stored message, up to and with the line end before the blank line.
std::string_view HeaderBlock(std::string_view mail);

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
  using Report = std::function<void(const Undelivered&)>;

  // catalogue is the relay thread's own open connection. A file is sent only once it has
  // a row (its acceptance is complete), to the row's recipients: never to what a header
  // says, since the envelope is what the server parsed.
  SmtpRelay(std::filesystem::path outboxRoot, SmtpRelayOptions relay, RelaySchedule schedule,
            Store& catalogue, Log log);
  SmtpRelay(const SmtpRelay&) = delete;
  SmtpRelay& operator=(const SmtpRelay&) = delete;
  ~SmtpRelay() { Stop(); }

  // Creates sent/ and failed/ and starts the thread, which first sends what new/ holds.
  Result Start();
  // Runs on the relay thread once per voice message that left new/ with failed
  // recipients, after the move; set before Start.
  void OnUndelivered(Report hook) { onUndelivered_ = std::move(hook); }
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
  // Records one attempt's verdicts; true when a recipient is still deferred.
  bool Record(const CatalogueRow& row, std::vector<RecipientRecord>& records,
              const SmtpOutcome& outcome);
  // Every recipient is settled: the file leaves new/ and its sender hears of failures.
  void Finish(const CatalogueRow& row, const std::vector<RecipientRecord>& records,
              const std::string& mail);
  bool MoveTo(const std::string& name, const char* folder);
  std::chrono::milliseconds Grow(std::chrono::milliseconds delay) const;

  std::filesystem::path root_;
  SmtpRelayOptions relay_;
  RelaySchedule schedule_;
  Store& catalogue_;
  Log log_;
  Report onUndelivered_;

  std::map<std::string, Backoff> deferred_;  // per file in new/
  Backoff unreachable_;                      // the relay as a whole
  // Sent to some, but the move or the record failed: never resend in this run.
  std::set<std::string> stuck_;

  std::mutex mutex_;
  std::condition_variable wake_;
  bool woken_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace murmel::server
