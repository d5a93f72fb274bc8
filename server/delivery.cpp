#include "server/delivery.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>

#include "server/address.h"
#include "server/code_page.h"
#include "server/voice_wav.h"

namespace murmel::server {
namespace {

constexpr char kServerName[] = "Murmelpost";

std::string Text(const std::string& bytes, const Message& message) {
  return ToUtf8(bytes, message.locale ? message.locale->codePage : 1252);
}

std::string PictureMimeType(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF)
    return "image/jpeg";
  if (bytes.size() >= 4 && bytes[0] == 'G' && bytes[1] == 'I' && bytes[2] == 'F' &&
      bytes[3] == '8') {
    return "image/gif";
  }
  return "application/octet-stream";
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

std::string PictureKey(std::string_view address) {
  std::string key;
  for (const char raw : address) {
    const char c = (raw >= 'A' && raw <= 'Z') ? static_cast<char>(raw - 'A' + 'a') : raw;
    const bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '@' || c == '_' ||
                       c == '+' || c == '-' || (c == '.' && !key.empty());
    if (plain) {
      key.push_back(c);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
      key += escaped;
    }
  }
  return key.empty() ? "%" : key;
}

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

Delivery::Delivery(std::filesystem::path stateDir)
    : stateDir_(std::move(stateDir)), outbox_(stateDir_ / "outbox") {}

IoResult Delivery::Open() {
  IoResult result = outbox_.Create();
  if (!result.ok) return result;
  std::error_code error;
  std::filesystem::create_directories(pictureFolder() / "tmp", error);
  if (error) return {false, "cannot create " + pictureFolder().string() + ": " + error.message()};
  return {};
}

DeliveryResult Delivery::DeliverMail(const MailContent& mail) {
  const std::string text = ComposeMail(mail);
  IoResult io;
  const auto name = outbox_.Deliver(
      std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), io);
  if (!name) return {false, io.error};
  if (onDelivered_) onDelivered_();
  return {true, (outbox_.root() / "new" / *name).string()};
}

DeliveryResult Delivery::Accept(const Message& message) {
  if (message.IsPictureRegistration()) return RegisterPicture(message);
  const std::time_t now = std::time(nullptr);
  MailContent mail = VoiceMail(message, now);
  mail.messageId = MessageId(now, ++pictureCounter_);
  // A registered picture goes with every message of its sender.
  std::ifstream picture(pictureFolder() / PictureKey(mail.from.address), std::ios::binary);
  if (picture) {
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(picture)), {});
    const std::string type = PictureMimeType(bytes);
    mail.attachments.push_back({PictureFileName(type), type, std::move(bytes)});
  }
  return DeliverMail(mail);
}

DeliveryResult Delivery::RegisterPicture(const Message& message) {
  const Upload& upload = *message.Find(kUploadPicture);
  const Mailbox sender = ParseSender(Text(message.sender, message));
  if (sender.address.empty()) return {false, "picture registration without a sender address"};
  const std::filesystem::path target = pictureFolder() / PictureKey(sender.address);
  const bool clearing = upload.bytes.empty();
  const IoResult stored =
      clearing ? RemoveDurably(target)
               : WriteDurably(pictureFolder() / "tmp" /
                                  (PictureKey(sender.address) + "." + std::to_string(::getpid()) +
                                   "." + std::to_string(++pictureCounter_)),
                              target, upload.bytes);
  if (!stored.ok) return {false, stored.error};

  MailContent mail;
  mail.from = {kServerName, kServerAddress};
  mail.to = {sender.address};
  mail.date = std::time(nullptr);
  mail.messageId = MessageId(mail.date, ++pictureCounter_);
  if (clearing) {
    mail.subject = "Your custom message picture was cleared";
    mail.text =
        "Your messages now carry a random cartoon again.\n"
        "If you did not ask for this, register your picture again.\n";
  } else {
    mail.subject = "Please confirm your custom message picture";
    mail.text = "A custom message picture was registered for " + sender.address +
                ". It is attached.\n"
                "If you did not register it, clear it from the Options menu.\n";
    const std::string type = PictureMimeType(upload.bytes);
    mail.attachments.push_back({PictureFileName(type), type, upload.bytes});
  }
  return DeliverMail(mail);
}

}  // namespace murmel::server
