// Turns an accepted connection's message into e-mail in the Maildir outbox, and keeps
// custom picture registrations per sender. Returns only once everything is durable.
#pragma once

#include <filesystem>
#include <string>

#include "server/durable_file.h"
#include "server/mail_compose.h"
#include "server/message.h"

namespace murmel::server {

struct DeliveryResult {
  bool ok = false;
  std::string detail;  // the outbox file, or what failed
};

// The sender's key on disk: lower case, anything outside [a-z0-9@._+-] percent-encoded.
std::string PictureKey(std::string_view address);

// The mail for a voice message, texts converted from the announced code page.
MailContent VoiceMail(const Message& message, std::time_t now);

class Delivery {
 public:
  explicit Delivery(std::filesystem::path stateDir);

  IoResult Open();
  DeliveryResult Accept(const Message& message);

  std::filesystem::path outboxRoot() const { return outbox_.root(); }
  std::filesystem::path pictureFolder() const { return stateDir_ / "pictures"; }

 private:
  DeliveryResult DeliverMail(const MailContent& mail);
  DeliveryResult RegisterPicture(const Message& message);

  std::filesystem::path stateDir_;
  Maildir outbox_;
  std::uint64_t pictureCounter_ = 0;
};

}  // namespace murmel::server
