#include "server/delivery.h"

#include <unistd.h>

#include <ctime>

#include "server/address.h"
#include "server/code_page.h"
#include "server/voice_wav.h"

namespace murmel::server {
namespace {

constexpr char kServerName[] = "Murmelpost";

std::string Text(const std::string& bytes, const Message& message) {
  return ToUtf8(bytes, message.locale ? message.locale->codePage : 1252);
}

std::string PictureFileName(const std::string& mimeType) {
  if (mimeType == "image/jpeg") return "picture.jpg";
  if (mimeType == "image/gif") return "picture.gif";
  return "picture.bin";
}

std::string MessageId(std::time_t now, std::uint64_t counter) {
  return std::to_string(now) + "." + std::to_string(::getpid()) + "." + std::to_string(counter) +
         "@murmelpost";
}

}  // namespace

MailContent VoiceMail(const Message& message, std::time_t now) {
  MailContent mail;
  mail.from = ParseSender(Text(message.sender, message));
  mail.to = SplitRecipients(Text(message.recipients, message));
  mail.subject = Text(message.subject, message);
  mail.date = now;
  if (const Upload* text = message.Find(kUploadText)) {
    mail.text = Text(std::string(text->bytes.begin(), text->bytes.end()), message);
  }
  if (const Upload* voice = message.Find(kUploadVoice)) {
    if (auto wav = VoiceImageToWav(voice->bytes)) {
      mail.attachments.push_back({"voice.wav", "audio/wav", std::move(*wav)});
    } else {
      // Not a voice image we understand: pass it on untouched rather than drop it.
      mail.attachments.push_back({"voice.bin", "application/octet-stream", voice->bytes});
    }
  }
  for (const Upload& upload : message.uploads) {
    if (upload.type < kFirstNamedUploadType) continue;
    mail.attachments.push_back({SafeFileName(Text(upload.fileName, message), "attachment.bin"),
                                "application/octet-stream", upload.bytes});
  }
  return mail;
}

Delivery::Delivery(std::filesystem::path stateDir, WallClock clock)
    : stateDir_(std::move(stateDir)),
      outbox_(stateDir_ / "outbox"),
      catalogue_(stateDir_ / kCatalogueFileName),
      pictures_(stateDir_ / "pictures", std::move(clock)) {}

IoResult Delivery::Open() {
  IoResult result = outbox_.Create();
  if (result.ok) result = catalogue_.Open();
  if (!result.ok) return result;
  return pictures_.Open();
}

void Delivery::ConfirmPicturesAt(std::string baseUrl) {
  while (baseUrl.ends_with('/')) baseUrl.pop_back();
  confirmBase_ = std::move(baseUrl);
}

DeliveryResult Delivery::DeliverMail(const MailContent& mail, MessageKind kind) {
  const std::string text = ComposeMail(mail);
  IoResult io;
  const auto name = outbox_.Deliver(
      std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), io);
  if (!name) return {false, io.error};
  const std::filesystem::path file = outbox_.root() / "new" / *name;
  CatalogueRow row;
  row.received = mail.date;
  row.kind = kind;
  row.sender = mail.from.address;
  row.recipients = JoinAddresses(mail.to);
  row.subject = mail.subject;
  row.file = *name;
  row.size = static_cast<std::int64_t>(text.size());
  if (const IoResult recorded = catalogue_.Insert(row); !recorded.ok) {
    // Unaccepted means undelivered: the relay must not send what the client will send again.
    if (const IoResult removed = RemoveDurably(file); !removed.ok) {
      return {false, recorded.error + "; and " + removed.error};
    }
    return {false, recorded.error};
  }
  if (onDelivered_) onDelivered_();
  return {true, file.string()};
}

DeliveryResult Delivery::Accept(const Message& message) {
  if (message.IsPictureRegistration()) return RegisterPicture(message);
  const std::time_t now = std::time(nullptr);
  MailContent mail = VoiceMail(message, now);
  mail.messageId = MessageId(now, ++mailCounter_);
  // A confirmed picture goes with every message of its sender.
  if (auto bytes = pictures_.Active(mail.from.address)) {
    const std::string type = PictureMimeType(*bytes);
    mail.attachments.push_back({PictureFileName(type), type, std::move(*bytes)});
  }
  return DeliverMail(mail, MessageKind::Voice);
}

DeliveryResult Delivery::RegisterPicture(const Message& message) {
  const Upload& upload = *message.Find(kUploadPicture);
  const Mailbox sender = ParseSender(Text(message.sender, message));
  if (sender.address.empty()) return {false, "picture registration without a sender address"};
  const bool clearing = upload.bytes.empty();
  if (!clearing && confirmBase_.empty()) {
    return {false,
            "custom pictures are confirmed on the HTTP pages, which this server does not "
            "serve (start it without --no-http)"};
  }
  std::string token;
  const IoResult stored = clearing ? pictures_.Clear(sender.address)
                                   : pictures_.Register(sender.address, upload.bytes, token);
  if (!stored.ok) return {false, stored.error};

  MailContent mail;
  mail.from = {kServerName, kServerAddress};
  mail.to = {sender.address};
  mail.date = std::time(nullptr);
  mail.messageId = MessageId(mail.date, ++mailCounter_);
  if (clearing) {
    mail.subject = kPictureClearedSubject;
    mail.text =
        "Your messages now carry a random cartoon again.\n"
        "If you did not ask for this, register your picture again.\n";
  } else {
    mail.subject = "Please confirm your custom message picture";
    mail.text = "A custom message picture was registered for " + sender.address +
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
  return DeliverMail(mail,
                     clearing ? MessageKind::PictureCleared : MessageKind::PictureConfirmation);
}

}  // namespace murmel::server
