// Turns an accepted connection's message into e-mail in the Maildir outbox, holds the
// messages of senders who have not confirmed their address yet, and keeps custom picture
// registrations until they are confirmed. Returns only once everything is durable.
#pragma once

#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "server/catalogue.h"
#include "server/durable_file.h"
#include "server/mail_compose.h"
#include "server/message.h"
#include "server/picture_registry.h"

namespace murmel::server {

inline constexpr char kPictureClearedSubject[] = "Your custom message picture was cleared";
inline constexpr std::time_t kDay = std::time_t{24} * 60 * 60;
// How long held messages and sender confirmation links wait.
inline constexpr std::time_t kHeldLifetime = 7 * kDay;
// At most one confirmation e-mail per address in this time: the server must not become
// a way to flood someone's inbox.
inline constexpr std::time_t kConfirmationMailInterval = kDay;

struct DeliveryOptions {
  // The service's own address: From of every e-mail, its domain that of the Message-IDs.
  std::string mailFrom = "murmelpost@localhost";
  // Off only on closed networks: then anyone may send in anyone's name.
  bool verifySenders = true;
  std::time_t verifiedFor = 365 * kDay;
};

struct DeliveryResult {
  bool ok = false;
  std::string detail;  // the outbox (or held) file, or what failed
};

// What a sender confirmation link stands for.
struct SenderConfirmationView {
  std::string address;
  std::vector<CatalogueRow> held;  // oldest first
};

struct SenderConfirmationResult {
  bool found = false;  // false: unknown, used or expired link
  IoResult stored;
  std::string address;
  int delivered = 0;
};

// The e-mail for a voice message, before its trace and Message-ID.
MailContent VoiceMail(const Message& message, const DeliveryOptions& options, std::time_t now);

class Delivery {
 public:
  explicit Delivery(std::filesystem::path stateDir, DeliveryOptions options = {},
                    WallClock clock = {});

  // Creates the outbox, the held folder and the catalogue; Reconcile before anything
  // moves their files.
  IoResult Open();
  ReconcileSummary Reconcile();
  // ok only once the e-mail file and its catalogue row are both durable. clientAddress is
  // the peer's IP address as text.
  DeliveryResult Accept(const Message& message, const std::string& clientAddress);
  // Runs after each e-mail is durable in new/: it must not block. Set before the first
  // Accept.
  void OnDelivered(std::function<void()> hook) { onDelivered_ = std::move(hook); }

  // Where the confirmation links point ("http://host:8110"). Until it is set, picture
  // registrations and unverified senders are refused: a link nobody can open would
  // strand them.
  void ConfirmLinksAt(std::string baseUrl);
  PictureRegistry& pictures() { return pictures_; }

  // Sender confirmation, for the HTTP pages; safe beside Accept on another thread.
  std::optional<SenderConfirmationView> PendingSender(const std::string& token);
  SenderConfirmationResult ConfirmSender(const std::string& token);
  // Held messages past their time are dropped (state expired); returns how many.
  int ExpireHeld(IoResult& result);

  std::filesystem::path outboxRoot() const { return outbox_.root(); }
  std::filesystem::path heldRoot() const { return held_.root(); }
  std::filesystem::path pictureFolder() const { return pictures_.folder(); }
  const DeliveryOptions& options() const { return options_; }

 private:
  struct Stored {
    MailContent mail;
    MessageKind kind = MessageKind::Voice;
    std::string clientAddress;
  };
  DeliveryResult Store(Maildir& maildir, const Stored& stored, MessageState state);
  DeliveryResult AcceptVoice(const Message& message, const std::string& clientAddress);
  DeliveryResult RegisterPicture(const Message& message, const std::string& clientAddress);
  // Mails the sender a confirmation link unless one went out within the last day.
  IoResult MailConfirmationLink(const std::string& address, const std::string& clientAddress);
  bool Verified(const std::string& address, IoResult& result);
  MailContent Notice(const std::string& to, const std::string& clientAddress);
  std::string NextMessageId();
  int ExpireHeldLocked(IoResult& result);

  std::filesystem::path stateDir_;
  DeliveryOptions options_;
  WallClock clock_;
  Maildir outbox_;
  Maildir held_;
  Catalogue catalogue_;
  PictureRegistry pictures_;
  std::string confirmBase_;
  std::uint64_t mailCounter_ = 0;
  std::function<void()> onDelivered_;
  // The catalogue's one connection and the counters: the transfer thread and the HTTP
  // threads take turns.
  std::mutex mutex_;
};

}  // namespace murmel::server
