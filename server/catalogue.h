// The catalogue: one SQLite row per accepted e-mail, beside its file in the Maildir outbox.
// A message counts as accepted only once both exist; the relay records on the row what
// became of the file, and operators read the rows with --list.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "server/durable_file.h"

namespace murmel::server {

inline constexpr char kCatalogueFileName[] = "catalogue.sqlite3";

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

// "voice", "picture-confirmation", ...: the names in the catalogue and X-Murmelpost-Kind.
const char* KindName(MessageKind kind);

struct CatalogueRow {
  std::int64_t id = 0;  // given by the catalogue
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

struct ReconcileSummary {
  IoResult result;
  int added = 0;    // files that had no row
  int updated = 0;  // rows whose state lagged behind their file's folder
  int dropped = 0;  // files in tmp/ whose acceptance never finished, with their rows
  int resumed = 0;  // accepted messages whose e-mail is still to be composed
};

class Catalogue {
 public:
  explicit Catalogue(std::filesystem::path file) : file_(std::move(file)) {}
  Catalogue(const Catalogue&) = delete;
  Catalogue& operator=(const Catalogue&) = delete;
  ~Catalogue();

  // Creates the file and its table unless mustExist, which is for readers: they should
  // report a missing catalogue, not leave an empty one behind.
  IoResult Open(bool mustExist = false);
  IoResult Insert(const CatalogueRow& row);
  // Forgets the row of a file whose acceptance never finished; absent is fine.
  IoResult Remove(const std::string& file);
  // One transaction around many changes: one commit, one sync, for a batch of messages.
  IoResult Begin();
  IoResult Commit();
  void Rollback();
  IoResult SetState(const std::string& file, MessageState state, const std::string& reason);
  // Newest first.
  std::vector<CatalogueRow> Newest(int count, IoResult& result);
  // Rows for files in outboxRoot's new/, sent/ and failed/ and heldRoot's new/ that have
  // none (left by an older server), and states that lag behind a move; files left in
  // either tmp/ by a crash are removed with their rows.
  // acceptedRoot holds the accepted messages whose e-mail was not composed yet: an e-mail
  // left in tmp/ has one there and keeps its row, as it will be composed again.
  ReconcileSummary Reconcile(const std::filesystem::path& outboxRoot,
                             const std::filesystem::path& heldRoot,
                             const std::filesystem::path& acceptedRoot);

  // The recipients recorded for a file, the relay's envelope; nullopt when no row has it
  // (not accepted yet, or never).
  std::optional<std::vector<std::string>> Recipients(const std::string& file, IoResult& result);
  // The file's row; nullopt when there is none.
  std::optional<CatalogueRow> Find(const std::string& file, IoResult& result);
  // The relay's records of the row's recipients, in the row's order: a recipient without
  // one is pending (the relay has not tried it, or the file predates the records).
  std::vector<RecipientRecord> RecipientRecords(const CatalogueRow& row, IoResult& result);
  IoResult PutRecipient(const std::string& file, const RecipientRecord& record);
  // Its failed recipients become pending again (the file was moved back into new/).
  IoResult RetryFailed(const std::string& file);
  // Held rows, oldest first: those of one sender (key in lower case, compared without
  // case), or those received before a time.
  std::vector<CatalogueRow> HeldFrom(const std::string& senderKey, IoResult& result);
  std::vector<CatalogueRow> HeldBefore(std::time_t before, IoResult& result);

  // The sender's record; a fresh one (key only) when there is none.
  SenderRecord Sender(const std::string& key, IoResult& result);
  // The record whose pending token this is, if any.
  std::optional<SenderRecord> SenderByToken(const std::string& token, IoResult& result);
  // Inserts or replaces the record.
  IoResult PutSender(const SenderRecord& record);

  const std::filesystem::path& file() const { return file_; }

 private:
  IoResult Fail(const std::string& what) const;
  IoResult NotOpen() const;
  int Version();  // -1 when it cannot be read
  IoResult Migrate();
  IoResult AddMissing(const std::filesystem::path& folder, MessageState state,
                      ReconcileSummary& summary);
  sqlite3_stmt* Prepare(const char* sql, IoResult& result);
  // Steps a statement that selects whole rows; the caller resets it.
  std::vector<CatalogueRow> Rows(sqlite3_stmt* statement, IoResult& result);

  std::filesystem::path file_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* update_ = nullptr;
  sqlite3_stmt* remove_ = nullptr;
  sqlite3_stmt* newest_ = nullptr;
  sqlite3_stmt* find_ = nullptr;
  sqlite3_stmt* recipients_ = nullptr;
  sqlite3_stmt* row_ = nullptr;
  sqlite3_stmt* recipientRecords_ = nullptr;
  sqlite3_stmt* putRecipient_ = nullptr;
  sqlite3_stmt* retryFailed_ = nullptr;
  sqlite3_stmt* heldFrom_ = nullptr;
  sqlite3_stmt* heldBefore_ = nullptr;
  sqlite3_stmt* sender_ = nullptr;
  sqlite3_stmt* senderByToken_ = nullptr;
  sqlite3_stmt* putSender_ = nullptr;
};

std::string JoinAddresses(const std::vector<std::string>& addresses);

// What a stray outbox file says about itself, read from its headers: the kind from
// X-Murmelpost-Kind, the sender from Reply-To (else From), the recipients from To.
CatalogueRow RowFromMail(const std::string& mail);

// The rows as an aligned text table for the terminal, one line each: control characters
// in any field are shown escaped ("\x1B"), never sent to the terminal.
std::string FormatRows(const std::vector<CatalogueRow>& rows);

}  // namespace murmel::server
