#include "server/smtp_relay.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>

#include "server/gmime_support.h"

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

}  // namespace

GObjectPtr<GMimeMessage> ParseMailHeaders(std::string_view mail) {
  InitialiseGMime();
  // Only the header block: parsing a message's attachments to read its headers is waste.
  std::size_t end = mail.find("\n\n");
  if (end != std::string_view::npos) end += 1;
  if (const std::size_t crlf = mail.find("\r\n\r\n"); crlf < end) end = crlf + 2;
  const std::string_view headers = mail.substr(0, end);
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
                     RelaySchedule schedule, Envelope envelope, Log log)
    : root_(std::move(outboxRoot)),
      relay_(std::move(relay)),
      schedule_(schedule),
      envelope_(std::move(envelope)),
      log_(std::move(log)) {}

IoResult SmtpRelay::Start() {
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
  const std::optional<std::vector<std::string>> envelope = envelope_(name);
  // Not accepted yet: the next pass, or the wake-up after its record, takes it.
  if (!envelope) return true;
  const std::vector<std::string>& recipients = *envelope;
  const std::optional<std::string> read = ReadWholeFile(root_ / "new" / name);
  // Gone between listing and opening: someone else took it, which is theirs to do.
  if (!read) return true;
  const std::string& mail = *read;

  if (recipients.empty()) {
    const std::string reason = "no recipient recorded for it";
    log_("relay: " + name + " moved to failed/: " + reason);
    MoveTo(name, "failed", reason);
    return true;
  }
  const SmtpOutcome outcome =
      SendThroughRelay(relay_, schedule_.timeouts, recipients, WithCrlf(mail), stop_);
  using Kind = SmtpOutcome::Kind;
  if (outcome.kind == Kind::Stopped) return false;
  if (outcome.kind == Kind::Unreachable) {
    unreachable_.delay = Grow(unreachable_.delay);
    unreachable_.due = Clock::now() + unreachable_.delay;
    log_("relay: cannot use " + relay_.url + ": " + outcome.reason + "; trying again in " +
         Duration(unreachable_.delay));
    return false;
  }
  unreachable_ = {};
  switch (outcome.kind) {
    case Kind::Sent:
      deferred_.erase(name);
      MoveTo(name, "sent", outcome.reason);
      for (const std::string& refused : outcome.refusedRecipients) {
        std::string line = "relay: " + name + ": recipient refused ";
        log_(line.append(refused));
      }
      log_("relay: sent " + name + " (" + outcome.reason + ")");
      break;
    case Kind::Refused:
      deferred_.erase(name);
      MoveTo(name, "failed", outcome.reason);
      log_("relay: " + name + " moved to failed/: " + outcome.reason);
      break;
    default: {
      Backoff& backoff = deferred_[name];
      backoff.delay = Grow(backoff.delay);
      backoff.due = Clock::now() + backoff.delay;
      log_("relay: " + name + ": " + outcome.reason + "; trying again in " +
           Duration(backoff.delay));
      break;
    }
  }
  return true;
}

void SmtpRelay::MoveTo(const std::string& name, const char* folder, const std::string& reason) {
  const IoResult result = MoveDurably(root_ / "new" / name, root_ / folder / name);
  if (!result.ok) {
    // Sending it again on the next pass would deliver it twice.
    stuck_.insert(name);
    log_("relay: " + result.error);
    return;
  }
  if (onMoved_) onMoved_(name, std::strcmp(folder, "sent") == 0, reason);
}

std::chrono::milliseconds SmtpRelay::Grow(std::chrono::milliseconds delay) const {
  if (delay.count() == 0) return schedule_.firstRetry;
  return std::min(delay * 2, schedule_.longestRetry);
}

}  // namespace murmel::server
