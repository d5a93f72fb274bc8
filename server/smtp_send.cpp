#include "server/smtp_send.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

namespace murmel::server {
namespace {

// The relay's replies, matched to the commands curl sent, read from curl's protocol trace:
// curl reports only the last reply, which cannot tell one refused recipient from all.
struct Dialogue {
  enum class Step { Greeting, Other, Mail, Recipient, Data, Body };
  Step step = Step::Greeting;
  std::string pendingRecipient;
  int mailCode = 0, dataCode = 0, bodyCode = 0;
  std::string mailReply, dataReply, bodyReply, lastReply;
  std::vector<RecipientReply> recipients;

  void Sent(std::string_view command) {
    if (command.starts_with("MAIL FROM:")) {
      step = Step::Mail;
    } else if (command.starts_with("RCPT TO:")) {
      step = Step::Recipient;
      command.remove_prefix(std::strlen("RCPT TO:"));
      command = command.substr(0, command.find_first_of("\r\n"));
      if (command.starts_with('<') && command.ends_with('>')) {
        command = command.substr(1, command.size() - 2);
      }
      pendingRecipient = std::string(command);
    } else if (command.starts_with("DATA")) {
      step = Step::Data;
    } else {
      step = Step::Other;
    }
  }

  // Only the last line of a multi-line reply ("250 ok" after "250-...") ends it.
  void Received(std::string_view line) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (line.size() < 3 || !std::all_of(line.begin(), line.begin() + 3, digit)) return;
    if (line.size() > 3 && line[3] != ' ') return;
    const int code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    lastReply = std::string(line);
    switch (step) {
      case Step::Mail:
        mailCode = code;
        mailReply = lastReply;
        break;
      case Step::Recipient:
        recipients.push_back({pendingRecipient, code, lastReply});
        break;
      case Step::Data:
        dataCode = code;
        dataReply = lastReply;
        if (code == 354) step = Step::Body;
        break;
      case Step::Body:
        // The reply after the final ".": curl sends no command line for it.
        bodyCode = code;
        bodyReply = lastReply;
        step = Step::Other;
        break;
      default:
        break;
    }
  }

  bool AnyRecipient(int klass) const {
    return std::any_of(recipients.begin(), recipients.end(),
                       [&](const RecipientReply& r) { return r.code / 100 == klass; });
  }
};

struct Transfer {
  const std::string* message;
  std::size_t offset = 0;
  Dialogue dialogue;
  const std::atomic<bool>* stop;
};

int Trace(CURL*, curl_infotype type, char* data, std::size_t size, void* context) {
  auto& dialogue = static_cast<Transfer*>(context)->dialogue;
  const std::string_view text(data, size);
  if (type == CURLINFO_HEADER_OUT) {
    dialogue.Sent(text);
  } else if (type == CURLINFO_HEADER_IN) {
    std::size_t start = 0;
    while (start < text.size()) {
      const std::size_t end = std::min(text.find('\n', start), text.size());
      std::string_view line = text.substr(start, end - start);
      if (line.ends_with('\r')) line.remove_suffix(1);
      dialogue.Received(line);
      start = end + 1;
    }
  }
  return 0;
}

std::size_t ReadBody(char* buffer, std::size_t size, std::size_t count, void* context) {
  auto& transfer = *static_cast<Transfer*>(context);
  const std::size_t n = std::min(size * count, transfer.message->size() - transfer.offset);
  transfer.message->copy(buffer, n, transfer.offset);
  transfer.offset += n;
  return n;
}

int Progress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<Transfer*>(context)->stop->load() ? 1 : 0;
}

struct EasyFree {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

SmtpOutcome Classify(const Transfer& transfer, CURLcode code, const char* curlError) {
  using Kind = SmtpOutcome::Kind;
  const Dialogue& d = transfer.dialogue;
  SmtpOutcome outcome;
  outcome.recipients = d.recipients;
  auto verdict = [&](int replyCode, const std::string& reply, std::string_view what) {
    const bool forGood = replyCode / 100 == 5;
    outcome.kind = forGood ? Kind::Refused : Kind::Deferred;
    outcome.reason = std::string(what) + (forGood ? " refused: " : " deferred: ") + reply;
    return outcome;
  };
  // Once the relay has said 250 to the body it owns the message, whatever curl says after.
  if (d.bodyCode / 100 == 2) {
    outcome.kind = Kind::Sent;
    outcome.reason = d.bodyReply;
    return outcome;
  }
  if (d.bodyCode != 0) return verdict(d.bodyCode, d.bodyReply, "message");
  if (d.dataCode != 0 && d.dataCode != 354) return verdict(d.dataCode, d.dataReply, "DATA");
  if (!d.recipients.empty() && !d.AnyRecipient(2)) {
    // Every recipient refused: for good only when none of them may work later. The outcome
    // is the message's; each recipient's own reply decides for that recipient.
    const bool later = d.AnyRecipient(4);
    outcome.kind = later ? Kind::Deferred : Kind::Refused;
    outcome.reason = std::string(later ? "recipients deferred" : "every recipient refused") + ": " +
                     d.recipients.back().reply;
    return outcome;
  }
  // 530: the relay wants a login, which is the relay's configuration, not this message.
  if (d.mailCode != 0 && d.mailCode != 530 && d.mailCode / 100 != 2) {
    return verdict(d.mailCode, d.mailReply, "sender");
  }
  if (code == CURLE_ABORTED_BY_CALLBACK && transfer.stop->load()) {
    outcome.kind = Kind::Stopped;
    outcome.reason = "stopped";
    return outcome;
  }
  // Before MAIL FROM was answered nothing was about this message: the relay is at fault.
  outcome.kind = d.mailCode == 0 || d.mailCode == 530 ? Kind::Unreachable : Kind::Deferred;
  outcome.reason = *curlError != '\0' ? curlError : curl_easy_strerror(code);
  if (!d.lastReply.empty() && d.lastReply[0] != '2') outcome.reason += " (" + d.lastReply + ")";
  return outcome;
}

}  // namespace

SmtpOutcome SendThroughRelay(const SmtpRelayOptions& relay, const SmtpTimeouts& timeouts,
                             const std::vector<std::string>& recipients, const std::string& message,
                             const std::atomic<bool>& stop) {
  std::unique_ptr<curl_slist, ListFree> to;
  for (const std::string& address : recipients) {
    curl_slist* grown = curl_slist_append(to.get(), ("<" + address + ">").c_str());
    if (grown == nullptr) return {SmtpOutcome::Kind::Unreachable, "out of memory", {}};
    static_cast<void>(to.release());
    to.reset(grown);
  }
  const std::string from = "<" + relay.envelopeFrom + ">";
  Transfer transfer{&message, 0, {}, &stop};
  char error[CURL_ERROR_SIZE] = {};
  // Declared last so that it goes first: closing the connection still calls back into
  // transfer (the QUIT is traced, a stop is polled).
  const std::unique_ptr<CURL, EasyFree> curl(curl_easy_init());
  if (!curl) return {SmtpOutcome::Kind::Unreachable, "curl_easy_init failed", {}};

  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, relay.url.c_str());
  curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.c_str());
  curl_easy_setopt(c, CURLOPT_MAIL_RCPT, to.get());
  // One refused or deferred recipient must not cost the others their message: curl goes on
  // to DATA while any RCPT was taken, and the trace tells which were. (Spelled with three
  // L in curl 7.88; later versions keep that name as an alias.)
  curl_easy_setopt(c, CURLOPT_MAIL_RCPT_ALLLOWFAILS, 1L);
  curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(c, CURLOPT_READFUNCTION, ReadBody);
  curl_easy_setopt(c, CURLOPT_READDATA, &transfer);
  curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));
  if (!relay.user.empty()) {
    curl_easy_setopt(c, CURLOPT_USERNAME, relay.user.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, relay.password.c_str());
  }
  if (relay.requireStartTls)
    curl_easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
  // Signals belong to the server's main loop; curl must not install handlers in this thread.
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, static_cast<long>(timeouts.connect.count()));
  curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(timeouts.reply.count()));
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>(timeouts.reply.count()));
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, Progress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &transfer);
  // The trace is the only place where every reply can be seen; nothing is printed.
  curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, Trace);
  curl_easy_setopt(c, CURLOPT_DEBUGDATA, &transfer);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);

  const CURLcode code = curl_easy_perform(c);
  return Classify(transfer, code, error);
}

}  // namespace murmel::server
