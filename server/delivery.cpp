#include "server/delivery.h"

#include <unistd.h>

#include <array>
#include <ctime>

#include "server/code_page.h"
#include "server/voice_wav.h"

namespace murmel::server {
namespace {

constexpr char kServiceName[] = "Murmelpost";

std::string PictureFileName(const std::string& mimeType) {
  if (mimeType == "image/jpeg") return "picture.jpg";
  if (mimeType == "image/gif") return "picture.gif";
  return "picture.bin";
}

std::string Domain(const std::string& address) { return address.substr(address.rfind('@') + 1); }

std::string MailDate(std::time_t when) {
  std::tm parts{};
  gmtime_r(&when, &parts);
  std::array<char, 64> text{};
  std::strftime(text.data(), text.size(), "%a, %d %b %Y %H:%M:%S +0000", &parts);
  return text.data();
}

// The trace line a mail system adds for the hop from the client: who handed the message
// over, to whom, and when.
std::string ReceivedFrom(const std::string& clientAddress, const std::string& serviceDomain,
                         std::time_t when) {
  const bool v6 = clientAddress.find(':') != std::string::npos;
  return "from [" + std::string(v6 ? "IPv6:" : "") + clientAddress + "] by " + serviceDomain +
         " (Murmelpost) with MURMELPOST; " + MailDate(when);
}

// The text upload, converted and without a NUL (the session refused those).
std::string MessageText(const Message& message) {
  const Upload* text = message.Find(kUploadText);
  if (text == nullptr) return {};
  return ToUtf8(
      std::string_view(reinterpret_cast<const char*>(text->bytes.data()), text->bytes.size()),
      message.codePage());
}

}  // namespace

MailContent VoiceMail(const Message& message, const DeliveryOptions& options, std::time_t now) {
  MailContent mail;
  const std::string& name = message.sender.name;
  // The service sends, the sender gets the replies: mail claiming to be From a domain
  // that publishes DMARC would otherwise be rejected as the forgery it would be.
  mail.from = {(name.empty() ? "" : name + " via ") + kServiceName, options.mailFrom};
  mail.replyTo = message.sender;
  mail.to = message.recipients;
  mail.subject = message.subject;
  mail.date = now;
  mail.kind = KindName(MessageKind::Voice);
  mail.text = MessageText(message);
  if (const Upload* voice = message.Find(kUploadVoice)) {
    if (auto wav = VoiceImageToWav(voice->bytes)) {
      mail.attachments.push_back({"voice.wav", "audio/wav", std::move(*wav)});
    } else {
      // Not a voice image we understand: pass it on untouched rather than drop it.
      mail.attachments.push_back({"voice.bin", "application/octet-stream", voice->bytes});
    }
  }
  if (const Upload* file = message.Find(kUploadFile)) {
    const std::string fileName = ToUtf8(file->fileName, message.codePage());
    mail.attachments.push_back(
        {SafeFileName(fileName, "attachment.bin"), "application/octet-stream", file->bytes});
  }
  return mail;
}

Delivery::Delivery(std::filesystem::path stateDir, DeliveryOptions options, WallClock clock)
    : stateDir_(std::move(stateDir)),
      options_(std::move(options)),
      clock_(clock ? std::move(clock) : WallClock([] { return std::time(nullptr); })),
      outbox_(stateDir_ / "outbox"),
      held_(stateDir_ / "held"),
      catalogue_(stateDir_ / kCatalogueFileName),
      pictures_(stateDir_ / "pictures", clock_) {}

IoResult Delivery::Open() {
  IoResult result = outbox_.Create();
  if (result.ok) result = held_.Create();
  if (result.ok) result = catalogue_.Open();
  if (!result.ok) return result;
  return pictures_.Open();
}

ReconcileSummary Delivery::Reconcile() {
  const std::lock_guard lock(mutex_);
  return catalogue_.Reconcile(outbox_.root(), held_.root());
}

void Delivery::ConfirmLinksAt(std::string baseUrl) {
  while (baseUrl.ends_with('/')) baseUrl.pop_back();
  confirmBase_ = std::move(baseUrl);
}

std::string Delivery::NextMessageId() {
  return std::to_string(clock_()) + "." + std::to_string(::getpid()) + "." +
         std::to_string(++mailCounter_) + "@" + Domain(options_.mailFrom);
}

MailContent Delivery::Notice(const std::string& to, const std::string& clientAddress) {
  MailContent mail;
  mail.from = {kServiceName, options_.mailFrom};
  mail.to = {to};
  mail.date = clock_();
  if (!clientAddress.empty()) {
    mail.received = ReceivedFrom(clientAddress, Domain(options_.mailFrom), mail.date);
  }
  return mail;
}

DeliveryResult Delivery::Store(Maildir& maildir, const Stored& stored, MessageState state) {
  MailContent mail = stored.mail;
  mail.messageId = NextMessageId();
  mail.kind = KindName(stored.kind);
  const std::string text = ComposeMail(mail);
  IoResult io;
  const auto name = maildir.Deliver(
      std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), io);
  if (!name) return {false, io.error};
  const std::filesystem::path file = maildir.root() / "new" / *name;
  CatalogueRow row;
  row.received = mail.date;
  row.kind = stored.kind;
  row.sender = mail.replyTo.address.empty() ? mail.from.address : mail.replyTo.address;
  row.recipients = JoinAddresses(mail.to);
  row.subject = mail.subject;
  row.file = *name;
  row.size = static_cast<std::int64_t>(text.size());
  row.state = state;
  row.clientAddress = stored.clientAddress;
  if (const IoResult recorded = catalogue_.Insert(row); !recorded.ok) {
    // Unaccepted means undelivered: the relay must not send what the client will send again.
    if (const IoResult removed = RemoveDurably(file); !removed.ok) {
      return {false, recorded.error + "; and " + removed.error};
    }
    return {false, recorded.error};
  }
  if (state == MessageState::New && onDelivered_) onDelivered_();
  return {true, file.string()};
}

DeliveryResult Delivery::Accept(const Message& message, const std::string& clientAddress) {
  const std::lock_guard lock(mutex_);
  if (message.IsPictureRegistration()) return RegisterPicture(message, clientAddress);
  return AcceptVoice(message, clientAddress);
}

bool Delivery::Verified(const std::string& address, IoResult& result) {
  if (!options_.verifySenders) return true;
  const SenderRecord record = catalogue_.Sender(AddressKey(address), result);
  return result.ok && clock_() < record.verifiedUntil;
}

DeliveryResult Delivery::AcceptVoice(const Message& message, const std::string& clientAddress) {
  Stored stored{VoiceMail(message, options_, clock_()), MessageKind::Voice, clientAddress};
  stored.mail.received = ReceivedFrom(clientAddress, Domain(options_.mailFrom), stored.mail.date);
  // A confirmed picture goes with every message of its sender.
  if (auto bytes = pictures_.Active(message.sender.address)) {
    const std::string type = PictureMimeType(*bytes);
    stored.mail.attachments.push_back({PictureFileName(type), type, std::move(*bytes)});
  }
  IoResult checked;
  const bool verified = Verified(message.sender.address, checked);
  if (!checked.ok) return {false, checked.error};
  if (verified) return Store(outbox_, stored, MessageState::New);
  if (confirmBase_.empty()) {
    return {false,
            "the sender's address is not confirmed, and its link would need the HTTP "
            "pages, which this server does not serve"};
  }
  // Accepted, so the client's user is done; delivered only once the address is confirmed.
  DeliveryResult held = Store(held_, stored, MessageState::Held);
  if (!held.ok) return held;
  if (const IoResult mailed = MailConfirmationLink(message.sender.address, clientAddress);
      !mailed.ok) {
    held.detail += " (held; the confirmation link could not be mailed: " + mailed.error + ")";
    return held;
  }
  held.detail += " (held until the sender confirms the address)";
  return held;
}

IoResult Delivery::MailConfirmationLink(const std::string& address,
                                        const std::string& clientAddress) {
  IoResult result;
  SenderRecord record = catalogue_.Sender(AddressKey(address), result);
  if (!result.ok) return result;
  const std::time_t now = clock_();
  if (record.mailedAt != 0 && now - record.mailedAt < kConfirmationMailInterval) return {};
  // The link mailed yesterday stays the link: the one in either e-mail works.
  if (record.token.empty() || now - record.mailedAt > kHeldLifetime) record.token = NewLinkToken();

  Stored stored{Notice(address, clientAddress), MessageKind::SenderConfirmation, clientAddress};
  stored.mail.subject = "Please confirm your address to send voice messages";
  stored.mail.text = "Someone, probably you, sent a voice message with Murmelpost from " + address +
                     ".\n\n"
                     "It is delivered only once you confirm that this address is yours. Open "
                     "this link\nand press Confirm:\n\n" +
                     confirmBase_ + "/sender/confirm/" + record.token +
                     "\n\n"
                     "Messages wait for 7 days. If you did not send one, ignore this e-mail: "
                     "nothing\nis delivered in your name.\n";
  const DeliveryResult mailed = Store(outbox_, stored, MessageState::New);
  if (!mailed.ok) return {false, mailed.detail};
  record.mailedAt = now;
  return catalogue_.PutSender(record);
}

DeliveryResult Delivery::RegisterPicture(const Message& message, const std::string& clientAddress) {
  const Upload& upload = *message.Find(kUploadPicture);
  const std::string& sender = message.sender.address;
  const bool clearing = upload.bytes.empty();
  IoResult checked;
  const bool verified = Verified(sender, checked);
  if (!checked.ok) return {false, checked.error};
  if (confirmBase_.empty() && (!clearing || !verified)) {
    return {false,
            "custom pictures and sender addresses are confirmed on the HTTP pages, which this "
            "server does not serve (start it without --no-http)"};
  }
  if (!verified) {
    // Nobody may change the picture on messages in someone else's name.
    const IoResult mailed = MailConfirmationLink(sender, clientAddress);
    return {false, "the sender's address is not confirmed" +
                       (mailed.ok ? std::string() : "; " + mailed.error)};
  }
  std::string token;
  const IoResult stored =
      clearing ? pictures_.Clear(sender) : pictures_.Register(sender, upload.bytes, token);
  if (!stored.ok) return {false, stored.error};

  Stored notice{Notice(sender, clientAddress),
                clearing ? MessageKind::PictureCleared : MessageKind::PictureConfirmation,
                clientAddress};
  MailContent& mail = notice.mail;
  if (clearing) {
    mail.subject = kPictureClearedSubject;
    mail.text =
        "Your messages now carry a random cartoon again.\n"
        "If you did not ask for this, register your picture again.\n";
  } else {
    mail.subject = "Please confirm your custom message picture";
    mail.text = "A custom message picture was registered for " + sender +
                ". It is attached.\n\n"
                "Your messages carry it only once you confirm it. Open this link\n"
                "and press Confirm:\n\n" +
                confirmBase_ + "/picture/confirm/" + token +
                "\n\n"
                "The link is valid for 7 days. If you did not register this picture,\n"
                "ignore this e-mail: nothing changes.\n";
    const std::string type = PictureMimeType(upload.bytes);
    mail.attachments.push_back({PictureFileName(type), type, upload.bytes});
  }
  return Store(outbox_, notice, MessageState::New);
}

std::optional<SenderConfirmationView> Delivery::PendingSender(const std::string& token) {
  const std::lock_guard lock(mutex_);
  IoResult result;
  const auto record = catalogue_.SenderByToken(token, result);
  if (!record || clock_() - record->mailedAt > kHeldLifetime) return std::nullopt;
  ExpireHeldLocked(result);
  SenderConfirmationView view{record->key, catalogue_.HeldFrom(record->key, result)};
  return view;
}

SenderConfirmationResult Delivery::ConfirmSender(const std::string& token) {
  const std::lock_guard lock(mutex_);
  SenderConfirmationResult confirmation;
  auto record = catalogue_.SenderByToken(token, confirmation.stored);
  if (!record || clock_() - record->mailedAt > kHeldLifetime) return confirmation;
  confirmation.found = true;
  confirmation.address = record->key;
  ExpireHeldLocked(confirmation.stored);
  record->verifiedUntil = clock_() + options_.verifiedFor;
  record->token.clear();
  // Verified first: a crash after it leaves held messages that the next confirmation, or
  // the next start-up's catch-up, would otherwise strand behind a used link.
  confirmation.stored = catalogue_.PutSender(*record);
  if (!confirmation.stored.ok) return confirmation;
  const auto held = catalogue_.HeldFrom(record->key, confirmation.stored);
  for (const CatalogueRow& row : held) {
    if (!confirmation.stored.ok) break;
    const std::filesystem::path from = held_.root() / "new" / row.file;
    const std::filesystem::path to = outbox_.root() / "new" / row.file;
    confirmation.stored = MoveDurably(from, to);
    if (confirmation.stored.ok) {
      confirmation.stored = catalogue_.SetState(row.file, MessageState::New, "");
    }
    if (confirmation.stored.ok) ++confirmation.delivered;
  }
  if (confirmation.delivered > 0 && onDelivered_) onDelivered_();
  return confirmation;
}

int Delivery::ExpireHeld(IoResult& result) {
  const std::lock_guard lock(mutex_);
  return ExpireHeldLocked(result);
}

int Delivery::ExpireHeldLocked(IoResult& result) {
  const auto rows = catalogue_.HeldBefore(clock_() - kHeldLifetime, result);
  int expired = 0;
  for (const CatalogueRow& row : rows) {
    if (!result.ok) break;
    result = RemoveDurably(held_.root() / "new" / row.file);
    if (result.ok) {
      result = catalogue_.SetState(row.file, MessageState::Expired,
                                   "the sender did not confirm the address within 7 days");
    }
    if (result.ok) ++expired;
  }
  return expired;
}

}  // namespace murmel::server
