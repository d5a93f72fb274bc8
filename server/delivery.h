// Turns an accepted connection's message into e-mail in the Maildir outbox, and keeps
// custom picture registrations per sender until they are confirmed. Returns only once
// everything is durable.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "server/catalogue.h"
#include "server/durable_file.h"
#include "server/mail_compose.h"
#include "server/message.h"
#include "server/picture_registry.h"

namespace murmel::server {

// The server's own mailbox: sender of its notices and, by default, the relay's bounce address.
inline constexpr char kServerAddress[] = "murmelpost@localhost";
inline constexpr char kPictureClearedSubject[] = "Your custom message picture was cleared";

struct DeliveryResult {
  bool ok = false;
  std::string detail;  // the outbox file, or what failed
};

// The mail for a voice message, texts converted from the announced code page.
MailContent VoiceMail(const Message& message, std::time_t now);

class Delivery {
 public:
  explicit Delivery(std::filesystem::path stateDir, WallClock clock = {});

  // Creates the outbox and the catalogue; Reconcile before anything moves outbox files.
  IoResult Open();
  ReconcileSummary Reconcile() { return catalogue_.Reconcile(outbox_.root()); }
  // ok only once the e-mail file and its catalogue row are both durable.
  DeliveryResult Accept(const Message& message);
  // Runs on the accepting thread after each e-mail is durable in new/: it must not block.
  // Set before the first Accept.
  void OnDelivered(std::function<void()> hook) { onDelivered_ = std::move(hook); }

  // Where the confirmation links point ("http://host:8110"). Until it is set, picture
  // registrations are refused: a link nobody can open would strand them.
  void ConfirmPicturesAt(std::string baseUrl);
  PictureRegistry& pictures() { return pictures_; }

  std::filesystem::path outboxRoot() const { return outbox_.root(); }
  std::filesystem::path pictureFolder() const { return pictures_.folder(); }

 private:
  DeliveryResult DeliverMail(const MailContent& mail, MessageKind kind);
  DeliveryResult RegisterPicture(const Message& message);

  std::filesystem::path stateDir_;
  Maildir outbox_;
  Catalogue catalogue_;
  PictureRegistry pictures_;
  std::string confirmBase_;
  std::uint64_t mailCounter_ = 0;
  std::function<void()> onDelivered_;
};

}  // namespace murmel::server
