// The store: what the service knows about its messages, their recipients and its senders,
// behind one interface so that nothing above it knows which database holds it. SQLite in
// the state folder serves one server; PostgreSQL lets several servers act as one service.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "server/result.h"

namespace murmel::server {

enum class MessageKind {
  Voice,
  PictureConfirmation,
  PictureCleared,
  SenderConfirmation,
  DeliveryReport,
};
// Held: accepted, waiting in the held folder for its sender to confirm the address.
// Expired: held too long; its file is gone.
enum class MessageState { New, Sent, Failed, Held, Expired };

// "voice", "picture-confirmation", ...: the names in the store and X-Murmelpost-Kind.
const char* KindName(MessageKind kind);
const char* StateName(MessageState state);

struct CatalogueRow {
  std::int64_t id = 0;  // given by the store
  std::time_t received = 0;
  MessageKind kind = MessageKind::Voice;
  std::string sender;
  std::string recipients;  // ", " between addresses
  std::string subject;
  std::string file;  // name in outbox/new, sent or failed
  std::int64_t size = 0;
  MessageState state = MessageState::New;
  std::string reason;         // why it failed; the relay's last reply when sent
  std::string clientAddress;  // the client's IP address; empty for the server's own mail
  // From the relay's per-recipient records (read only): how many it has, how many sent.
  int recipientsTracked = 0;
  int recipientsSent = 0;
};

// Pending: not tried yet. Sent and Failed are final; Deferred is tried again.
enum class RecipientState { Pending, Sent, Deferred, Failed };
const char* RecipientStateName(RecipientState state);

// One envelope recipient of a file, as the relay last left it.
struct RecipientRecord {
  std::string address;
  RecipientState state = RecipientState::Pending;
  int attempts = 0;
  std::string reply;  // the relay's last word about it
  std::time_t nextAttempt = 0;
};

inline bool Settled(RecipientState state) {
  return state == RecipientState::Sent || state == RecipientState::Failed;
}

// One sender address (lower case) on its way to being verified, or verified.
struct SenderRecord {
  std::string key;
  std::time_t verifiedUntil = 0;  // messages from it are delivered while now < this
  std::string token;              // of the pending confirmation link; empty: none
  std::time_t mailedAt = 0;       // when the last confirmation e-mail went out; 0: never
};

// A sender's custom picture, confirmed or waiting for its link.
struct PictureRecord {
  std::string key;  // PictureKey of the sender
  bool pending = false;
  std::string sender;  // the address as registered
  std::string token;   // of the pending link; empty once confirmed
  std::time_t registered = 0;
  std::vector<std::uint8_t> bytes;
};

// Messages accepted in one hour (counted from the epoch) from one client address or sender.
enum class RateKind { Address, Sender };
struct RateCount {
  RateKind kind = RateKind::Sender;
  std::string key;
  std::int64_t hour = 0;
  std::int64_t count = 0;
};
// A transaction stamps its rows when it starts and is seen when it commits: counts are
// read again for this long after their stamp, so that one committing late is not missed.
inline constexpr std::int64_t kRateSettleMs = 10000;

struct ReconcileSummary {
  Result result;
  int added = 0;    // files that had no row
  int updated = 0;  // rows whose state lagged behind their file's folder
  int dropped = 0;  // files in tmp/ whose acceptance never finished, with their rows
  int resumed = 0;  // accepted messages whose e-mail is still to be composed
};

// One connection to the store: used by one thread at a time.
class Store {
 public:
  Store() = default;
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;
  virtual ~Store() = default;

  // Creates the tables, or brings them to this server's version, unless mustExist, which
  // is for readers: they should report a missing store, not leave an empty one behind.
  virtual Result Open(bool mustExist = false) = 0;
  // Where it is, for messages: never with a password.
  virtual std::string Describe() const = 0;

  virtual Result Insert(const CatalogueRow& row) = 0;
  // Forgets the row of a file whose acceptance never finished; absent is fine.
  virtual Result Remove(const std::string& file) = 0;
  // One transaction around many changes: one commit, one sync, for a batch of messages.
  virtual Result Begin() = 0;
  virtual Result Commit() = 0;
  virtual void Rollback() = 0;
  virtual Result SetState(const std::string& file, MessageState state,
                          const std::string& reason) = 0;
  // Newest first.
  virtual std::vector<CatalogueRow> Newest(int count, Result& result) = 0;
  // The recipients recorded for a file, the relay's envelope; nullopt when no row has it
  // (not accepted yet, or never).
  virtual std::optional<std::vector<std::string>> Recipients(const std::string& file,
                                                             Result& result) = 0;
  // The file's row; nullopt when there is none.
  virtual std::optional<CatalogueRow> Find(const std::string& file, Result& result) = 0;
  // The relay's records of the row's recipients, in the row's order: a recipient without
  // one is pending (the relay has not tried it, or the file predates the records).
  virtual std::vector<RecipientRecord> RecipientRecords(const CatalogueRow& row,
                                                        Result& result) = 0;
  virtual Result PutRecipient(const std::string& file, const RecipientRecord& record) = 0;
  // Its failed recipients become pending again (the file was moved back into new/).
  virtual Result RetryFailed(const std::string& file) = 0;
  // Held rows, oldest first: those of one sender (key in lower case, compared without
  // case), or those received before a time.
  virtual std::vector<CatalogueRow> HeldFrom(const std::string& senderKey, Result& result) = 0;
  virtual std::vector<CatalogueRow> HeldBefore(std::time_t before, Result& result) = 0;

  // The sender's record; a fresh one (key only) when there is none.
  virtual SenderRecord Sender(const std::string& key, Result& result) = 0;
  // The record whose pending token this is, if any.
  virtual std::optional<SenderRecord> SenderByToken(const std::string& token, Result& result) = 0;
  // Inserts or replaces the record.
  virtual Result PutSender(const SenderRecord& record) = 0;

  // The sender's confirmed or pending picture, or the pending one whose link this is.
  virtual std::optional<PictureRecord> Picture(const std::string& key, bool pending,
                                               Result& result) = 0;
  virtual std::optional<PictureRecord> PictureByToken(const std::string& token, Result& result) = 0;
  // Inserts or replaces the sender's picture of that kind; absent is fine for Remove.
  virtual Result PutPicture(const PictureRecord& picture) = 0;
  virtual Result RemovePicture(const std::string& key, bool pending) = 0;

  // Adds this server's counts to the service's and forgets hours before fromHour, in one
  // transaction. Returns the service's totals stamped since `since` (the store's clock, in
  // ms; 0: all of them) and moves `since` on for the next call.
  virtual std::vector<RateCount> ShareRates(std::vector<RateCount> added, std::int64_t fromHour,
                                            std::int64_t& since, Result& result) = 0;

  // Rows for files in outboxRoot's new/, sent/ and failed/ and heldRoot's new/ that have
  // none (left by an older server), and states that lag behind a move; files left in
  // either tmp/ by a crash are removed with their rows.
  // acceptedRoot holds the accepted messages whose e-mail was not composed yet: an e-mail
  // left in tmp/ has one there and keeps its row, as it will be composed again.
  ReconcileSummary Reconcile(const std::filesystem::path& outboxRoot,
                             const std::filesystem::path& heldRoot,
                             const std::filesystem::path& acceptedRoot);

 private:
  Result AddMissing(const std::filesystem::path& folder, MessageState state,
                    ReconcileSummary& summary);
};

// Where the store lives: "sqlite:PATH" or "postgresql://..." (libpq's URI).
struct StoreLocation {
  enum class Kind { Sqlite, Postgresql };
  Kind kind = Kind::Sqlite;
  std::filesystem::path file;  // Sqlite
  std::string uri;             // Postgresql, as given (may hold a password)
};

// Refuses anything but the two forms, with the reason in error; never echoes a password.
std::optional<StoreLocation> ParseStoreLocation(const std::string& text, std::string& error);
// The location with any password replaced by "***", for logs and messages.
std::string RedactedLocation(const std::string& text);
// A new, unopened connection.
std::unique_ptr<Store> MakeStore(const StoreLocation& location);

std::string JoinAddresses(const std::vector<std::string>& addresses);
// The inverse of JoinAddresses. A quoted local part may itself hold ", ".
std::vector<std::string> SplitAddresses(const std::string& joined);
// For the backends: the enum values of stored names (the first value when unknown).
MessageKind KindNamed(const std::string& name);
MessageState StateNamed(const std::string& name);
RecipientState RecipientStateNamed(const std::string& name);
const char* RateKindName(RateKind kind);
RateKind RateKindNamed(const std::string& name);
// Each (kind, key, hour) once, its counts summed, in one order: two servers adding the same
// keys lock their rows in the same order and never deadlock.
std::vector<RateCount> MergedRates(std::vector<RateCount> counts);

}  // namespace murmel::server
