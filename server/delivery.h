// Turns an accepted connection's message into e-mail in the Maildir outbox, and keeps
// custom picture registrations per sender. Returns only once everything is durable.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "server/durable_file.h"
#include "server/mail_compose.h"
#include "server/message.h"

namespace murmel::server {

// The server's own mailbox: sender of its notices and, by default, the relay's bounce address.
inline constexpr char kServerAddress[] = "murmelpost@localhost";

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
  // Runs on the accepting thread after each e-mail is durable in new/: it must not block.
  // Set before the first Accept.
  void OnDelivered(std::function<void()> hook) { onDelivered_ = std::move(hook); }

  std::filesystem::path outboxRoot() const { return outbox_.root(); }
  std::filesystem::path pictureFolder() const { return stateDir_ / "pictures"; }

 private:
  DeliveryResult DeliverMail(const MailContent& mail);
  DeliveryResult RegisterPicture(const Message& message);

  std::filesystem::path stateDir_;
  Maildir outbox_;
  std::uint64_t pictureCounter_ = 0;
  std::function<void()> onDelivered_;
};

}  // namespace murmel::server
