#include "server/smtp_relay.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>
#include <system_error>

#include "server/gmime_support.h"
#include "server/metrics.h"

namespace murmel::server {
namespace {

void Collect(InternetAddressList* list, std::vector<std::string>& addresses) {
  if (list == nullptr) return;
  for (int i = 0; i < internet_address_list_length(list); ++i) {
    InternetAddress* address = internet_address_list_get_address(list, i);
    if (INTERNET_ADDRESS_IS_GROUP(address)) {
      Collect(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)), addresses);
      continue;
    }
    // The IDN form: a relay may not speak SMTPUTF8, but every relay takes punycode.
    const char* text = internet_address_mailbox_get_idn_addr(INTERNET_ADDRESS_MAILBOX(address));
    if (text == nullptr || *text == '\0') continue;
    if (std::find(addresses.begin(), addresses.end(), text) == addresses.end()) {
      addresses.emplace_back(text);
    }
  }
}

std::string Duration(std::chrono::milliseconds delay) {
  if (delay < std::chrono::seconds(1)) return std::to_string(delay.count()) + " ms";
  return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(delay).count()) + " s";
}

// What one attempt means for a recipient that was tried: its own RCPT reply when the relay
// refused or deferred it, else the message's fate.
void Judge(const SmtpOutcome& outcome, RecipientRecord& record) {
  using Kind = SmtpOutcome::Kind;
  const auto own =
      std::find_if(outcome.recipients.begin(), outcome.recipients.end(),
                   [&](const RecipientReply& r) { return r.address == record.address; });
  const int klass = own == outcome.recipients.end() ? 0 : own->code / 100;
  ++record.attempts;
  if (klass == 5 || klass == 4) {
    record.state = klass == 5 ? RecipientState::Failed : RecipientState::Deferred;
    record.reply = own->reply;
  } else {
    record.state = outcome.kind == Kind::Sent      ? RecipientState::Sent
                   : outcome.kind == Kind::Refused ? RecipientState::Failed
                                                   : RecipientState::Deferred;
    record.reply = outcome.reason;
  }
}

}  // namespace

std::string_view HeaderBlock(std::string_view mail) {
  std::size_t end = mail.find("\n\n");
  if (end != std::string_view::npos) end += 1;
  if (const std::size_t crlf = mail.find("\r\n\r\n"); crlf < end) end = crlf + 2;
  return mail.substr(0, end);
}

GObjectPtr<GMimeMessage> ParseMailHeaders(std::string_view mail) {
  InitialiseGMime();
  // Only the header block: parsing a message's attachments to read its headers is waste.
  const std::string_view headers = HeaderBlock(mail);
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(headers.data(), headers.size()));
  GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  return GObjectPtr<GMimeMessage>(g_mime_parser_construct_message(parser.get(), nullptr));
}

std::vector<std::string> MessageRecipients(GMimeMessage* message) {
  if (message == nullptr) return {};
  std::vector<std::string> addresses;
  Collect(g_mime_message_get_addresses(message, GMIME_ADDRESS_TYPE_TO), addresses);
  Collect(g_mime_message_get_addresses(message, GMIME_ADDRESS_TYPE_CC), addresses);
  return addresses;
}

std::vector<std::string> MailRecipients(std::string_view mail) {
  return MessageRecipients(ParseMailHeaders(mail).get());
}

std::string WithCrlf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out.push_back('\r');
    out.push_back(text[i]);
  }
  return out;
}

SmtpRelay::SmtpRelay(std::filesystem::path outboxRoot, SmtpRelayOptions relay,
                     RelaySchedule schedule, Store& catalogue, Log log)
    : root_(std::move(outboxRoot)),
      relay_(std::move(relay)),
      schedule_(schedule),
      catalogue_(catalogue),
      log_(std::move(log)) {}

Result SmtpRelay::Start() {
  std::error_code error;
  for (const char* folder : {"new", "sent", "failed"}) {
    std::filesystem::create_directories(root_ / folder, error);
    if (error)
      return {false, "cannot create " + (root_ / folder).string() + ": " + error.message()};
  }
  thread_ = std::thread([this] { Run(); });
  return {};
}

void SmtpRelay::Wake() {
  {
    const std::lock_guard lock(mutex_);
    woken_ = true;
  }
  wake_.notify_one();
}

void SmtpRelay::Stop() {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void SmtpRelay::Run() {
  while (!stop_) {
    const Clock::time_point next = Pass();
    std::unique_lock lock(mutex_);
    wake_.wait_until(lock, next, [this] { return woken_ || stop_; });
    woken_ = false;
  }
}

SmtpRelay::Clock::time_point SmtpRelay::Pass() {
  const Clock::time_point now = Clock::now();
  if (unreachable_.due > now) return unreachable_.due;
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(root_ / "new", error)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with('.') && entry.is_regular_file(error)) names.push_back(name);
  }
  // Oldest first: Maildir names begin with the time of delivery.
  std::sort(names.begin(), names.end());
  std::erase_if(deferred_, [&](const auto& entry) {
    return !std::binary_search(names.begin(), names.end(), entry.first);
  });

  Clock::time_point next = now + schedule_.rescan;
  for (const std::string& name : names) {
    if (stop_) break;
    if (stuck_.contains(name)) continue;
    if (const auto it = deferred_.find(name); it != deferred_.end() && it->second.due > now) {
      next = std::min(next, it->second.due);
      continue;
    }
    if (!Relay(name)) return unreachable_.due;
    if (const auto it = deferred_.find(name); it != deferred_.end()) {
      next = std::min(next, it->second.due);
    }
  }
  return next;
}

bool SmtpRelay::Relay(const std::string& name) {
  Result read;
  const std::optional<CatalogueRow> row = catalogue_.Find(name, read);
  // Its row says it left new/: someone moved it back to have it tried again.
  if (row && row->state != MessageState::New) {
    read = catalogue_.RetryFailed(name);
    if (read.ok) read = catalogue_.SetState(name, MessageState::New, "moved back into new/");
  }
  std::vector<RecipientRecord> records;
  if (row && read.ok) records = catalogue_.RecipientRecords(*row, read);
  if (!read.ok) {
    // Without the records, those already served would get it again.
    log_("relay: " + read.error);
    return true;
  }
  // Not accepted yet: the next pass, or the wake-up after its record, takes it.
  if (!row) return true;
  const std::optional<std::string> mail = ReadWholeFile(root_ / "new" / name);
  // Gone between listing and opening: someone else took it, which is theirs to do.
  if (!mail) return true;

  std::vector<std::string> due;
  for (const RecipientRecord& record : records) {
    if (!Settled(record.state)) due.push_back(record.address);
  }
  if (due.empty()) {
    Finish(*row, records, *mail);
    return true;
  }
  SmtpRelayOptions relay = relay_;
  // A report goes out from the null sender: if it fails in turn, nobody hears of it.
  if (row->kind == MessageKind::DeliveryReport) relay.envelopeFrom.clear();
  const SmtpOutcome outcome =
      SendThroughRelay(relay, schedule_.timeouts, due, WithCrlf(*mail), stop_);
  using Kind = SmtpOutcome::Kind;
  if (outcome.kind == Kind::Stopped) return false;
  if (outcome.kind == Kind::Unreachable) {
    // A relay down for longer than a message may wait fails it like any other delay: its
    // sender hears of it, and the queue does not grow for ever.
    if (std::time(nullptr) >= row->received + schedule_.maxLifetime.count() &&
        !Record(*row, records, outcome)) {
      deferred_.erase(name);
      Finish(*row, records, *mail);
    }
    unreachable_.delay = Grow(unreachable_.delay);
    unreachable_.due = Clock::now() + unreachable_.delay;
    log_("relay: cannot use " + relay_.url + ": " + outcome.reason + "; trying again in " +
         Duration(unreachable_.delay));
    return false;
  }
  unreachable_ = {};
  if (!Record(*row, records, outcome)) {
    deferred_.erase(name);
    Finish(*row, records, *mail);
  }
  return true;
}

bool SmtpRelay::Record(const CatalogueRow& row, std::vector<RecipientRecord>& records,
                       const SmtpOutcome& outcome) {
  Backoff& backoff = deferred_[row.file];
  backoff.delay = Grow(backoff.delay);
  backoff.due = Clock::now() + backoff.delay;
  const std::time_t now = std::time(nullptr);
  const bool expired = now >= row.received + schedule_.maxLifetime.count();
  std::string deferred;
  Result recorded = catalogue_.Begin();
  for (RecipientRecord& record : records) {
    if (Settled(record.state)) continue;
    Judge(outcome, record);
    if (record.state == RecipientState::Deferred && expired) {
      record.state = RecipientState::Failed;
      record.reply = kExpiredPrefix + record.reply;
    }
    record.nextAttempt = record.state == RecipientState::Deferred
                             ? now + std::chrono::ceil<std::chrono::seconds>(backoff.delay).count()
                             : 0;
    if (record.state == RecipientState::Deferred) deferred += " " + record.address;
    if (record.state == RecipientState::Failed) {
      log_("relay: " + row.file + ": recipient refused " + record.address + ": " + record.reply);
    }
    if (recorded.ok) recorded = catalogue_.PutRecipient(row.file, record);
  }
  recorded = recorded.ok ? catalogue_.Commit() : recorded;
  if (!recorded.ok) {
    catalogue_.Rollback();
    // Trying again would send to those served already.
    stuck_.insert(row.file);
    log_("relay: " + recorded.error);
  }
  if (deferred.empty()) return false;
  ++ServerMetrics().relayDeferred;
  log_("relay: " + row.file + ": deferred for" + deferred + " (" + outcome.reason +
       "); trying again in " + Duration(backoff.delay));
  return true;
}

void SmtpRelay::Finish(const CatalogueRow& row, const std::vector<RecipientRecord>& records,
                       const std::string& mail) {
  std::vector<RecipientRecord> failed;
  std::string reason = records.empty() ? "no recipient recorded for it" : std::string();
  bool sent = false;
  for (const RecipientRecord& record : records) {
    if (record.state == RecipientState::Failed) failed.push_back(record);
    // The relay's last word on the message once any has it, else the last refusal.
    if (!sent || record.state == RecipientState::Sent) reason = record.reply;
    sent = sent || record.state == RecipientState::Sent;
  }
  if (!MoveTo(row.file, sent ? "sent" : "failed")) return;
  ++(sent ? ServerMetrics().relaySent : ServerMetrics().relayFailed);
  log_(sent ? "relay: sent " + row.file + " (" + reason + ")"
            : "relay: " + row.file + " moved to failed/: " + reason);
  if (const Result recorded =
          catalogue_.SetState(row.file, sent ? MessageState::Sent : MessageState::Failed, reason);
      !recorded.ok) {
    log_("relay: " + recorded.error);
  }
  // Only a person's message gets a report: never the service's own notices, least of all
  // a report, which could bounce back and forth for ever.
  if (!failed.empty() && row.kind == MessageKind::Voice && onUndelivered_) {
    onUndelivered_({row, std::move(failed), std::string(HeaderBlock(mail))});
  }
}

bool SmtpRelay::MoveTo(const std::string& name, const char* folder) {
  const Result result = MoveDurably(root_ / "new" / name, root_ / folder / name);
  if (!result.ok) {
    // Sending it again on the next pass would deliver it twice.
    stuck_.insert(name);
    log_("relay: " + result.error);
  }
  return result.ok;
}

std::chrono::milliseconds SmtpRelay::Grow(std::chrono::milliseconds delay) const {
  if (delay.count() == 0) return schedule_.firstRetry;
  return std::min(delay * 2, schedule_.longestRetry);
}

}  // namespace murmel::server
