#include "server/sqlite_store.h"

#include "server/store_schema.h"

#include <algorithm>
#include <array>

namespace murmel::server {
namespace {

constexpr int kSchemaVersion = 5;

// The messages table as version 3 has it. CHECK constraints cannot be altered, so an
// older file gets this table built beside its old one.
std::string MessagesTable(const std::string& name) {
  return "CREATE TABLE " + name +
         " ("
         "  id INTEGER PRIMARY KEY,"
         "  received INTEGER NOT NULL," MURMEL_MESSAGE_COLUMNS("INTEGER");
}

#define MURMEL_V1_COLUMNS \
  "id, received, kind, sender, recipients, subject, file, size, state, reason"
constexpr char kFromVersion1[] =
    "INSERT INTO messages_new (" MURMEL_V1_COLUMNS ") SELECT " MURMEL_V1_COLUMNS " FROM messages;";
constexpr char kFromVersion2[] =
    "INSERT INTO messages_new (" MURMEL_V1_COLUMNS ", client_address) SELECT " MURMEL_V1_COLUMNS
    ", client_address FROM messages;";

// Dropping the old table drops its indexes too: they are made again on the new one.
constexpr char kMessagesRest[] =
    "DROP TABLE messages;"
    "ALTER TABLE messages_new RENAME TO messages;"
    "CREATE INDEX messages_by_received ON messages (received, id);"
    // Held rows are few among many: the expiry sweep and each confirmation read only them.
    "CREATE INDEX messages_held ON messages (received, id) WHERE state = 'held';";

constexpr char kRecipientsTable[] = MURMEL_RECIPIENTS_TABLE("INTEGER") "PRAGMA user_version = 3;";

constexpr char kSendersTable[] = MURMEL_SENDERS_TABLE("INTEGER");
constexpr char kRateTable[] = MURMEL_RATE_TABLE("INTEGER") "PRAGMA user_version = 4;";
constexpr char kPicturesTable[] =
    MURMEL_PICTURES_TABLE("INTEGER", "BLOB") "PRAGMA user_version = 5;";

std::string Column(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  return text ? reinterpret_cast<const char*>(text) : "";
}

void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
  sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// Resets on every way out, so that a statement never holds a read lock between calls.
struct Step {
  explicit Step(sqlite3_stmt* statement) : statement_(statement) {}
  Step(const Step&) = delete;
  Step& operator=(const Step&) = delete;
  ~Step() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  int operator()() const { return sqlite3_step(statement_); }
  sqlite3_stmt* statement_;
};

CatalogueRow RowAt(sqlite3_stmt* statement) {
  CatalogueRow row;
  row.id = sqlite3_column_int64(statement, 0);
  row.received = static_cast<std::time_t>(sqlite3_column_int64(statement, 1));
  row.kind = KindNamed(Column(statement, 2));
  row.sender = Column(statement, 3);
  row.recipients = Column(statement, 4);
  row.subject = Column(statement, 5);
  row.file = Column(statement, 6);
  row.size = sqlite3_column_int64(statement, 7);
  row.state = StateNamed(Column(statement, 8));
  row.reason = Column(statement, 9);
  row.clientAddress = Column(statement, 10);
  row.recipientsTracked = sqlite3_column_int(statement, 11);
  row.recipientsSent = sqlite3_column_int(statement, 12);
  return row;
}

PictureRecord PictureAt(sqlite3_stmt* statement) {
  PictureRecord picture;
  picture.key = Column(statement, 0);
  picture.pending = sqlite3_column_int(statement, 1) == 1;
  picture.sender = Column(statement, 2);
  picture.token = Column(statement, 3);
  picture.registered = static_cast<std::time_t>(sqlite3_column_int64(statement, 4));
  const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement, 5));
  picture.bytes.assign(bytes, bytes + sqlite3_column_bytes(statement, 5));
  return picture;
}

SenderRecord SenderAt(sqlite3_stmt* statement) {
  SenderRecord record;
  record.key = Column(statement, 0);
  record.verifiedUntil = static_cast<std::time_t>(sqlite3_column_int64(statement, 1));
  record.token = Column(statement, 2);
  record.mailedAt = static_cast<std::time_t>(sqlite3_column_int64(statement, 3));
  return record;
}

}  // namespace

SqliteStore::~SqliteStore() {
  for (sqlite3_stmt* statement :
       {insert_, update_, remove_, newest_, recipients_, row_, recipientRecords_, putRecipient_,
        retryFailed_, heldFrom_, heldBefore_, sender_, senderByToken_, putSender_}) {
    sqlite3_finalize(statement);
  }
  sqlite3_close(db_);
}

Result SqliteStore::Fail(const std::string& what) const {
  return {false, "catalogue " + file_.string() + ": " + what + ": " +
                     (db_ ? sqlite3_errmsg(db_) : "out of memory")};
}

Result SqliteStore::NotOpen() const {
  return {false, "catalogue " + file_.string() + " is not open"};
}

sqlite3_stmt* SqliteStore::Prepare(const char* sql, Result& result) {
  sqlite3_stmt* statement = nullptr;
  if (result.ok && sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement,
                                      nullptr) != SQLITE_OK) {
    result = Fail("cannot prepare a statement");
  }
  return statement;
}

Result SqliteStore::Open(bool mustExist) {
  const int flags =
      SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (mustExist ? 0 : SQLITE_OPEN_CREATE);
  if (sqlite3_open_v2(file_.c_str(), &db_, flags, nullptr) != SQLITE_OK) return Fail("cannot open");
  // The relay thread and --list use their own connections: wait for them, briefly.
  sqlite3_busy_timeout(db_, 5000);
  // FULL: a commit is on disk before the client hears TROK.
  for (const char* pragma : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL"}) {
    if (sqlite3_exec(db_, pragma, nullptr, nullptr, nullptr) != SQLITE_OK) {
      return Fail("cannot set it up");
    }
  }
  if (Result migrated = Migrate(); !migrated.ok) return migrated;
  Result result;
  insert_ = Prepare(
      "INSERT INTO messages(received, kind, sender, recipients, subject, file, size, state, "
      "reason, client_address) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)",
      result);
  update_ = Prepare("UPDATE messages SET state = ?2, reason = ?3 WHERE file = ?1", result);
  remove_ = Prepare("DELETE FROM messages WHERE file = ?1", result);
  newest_ = Prepare("SELECT " MURMEL_ROW_COLUMNS
                    " FROM messages ORDER BY received DESC, id DESC LIMIT ?1",
                    result);
  recipients_ = Prepare("SELECT recipients FROM messages WHERE file = ?1", result);
  row_ = Prepare("SELECT " MURMEL_ROW_COLUMNS " FROM messages WHERE file = ?1", result);
  recipientRecords_ = Prepare(
      "SELECT address, state, attempts, reply, next_attempt FROM recipients WHERE file = ?1",
      result);
  retryFailed_ = Prepare("DELETE FROM recipients WHERE file = ?1 AND state = 'failed'", result);
  putRecipient_ = Prepare(
      "INSERT INTO recipients(file, address, state, attempts, reply, next_attempt) "
      "VALUES (?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT(file, address) DO UPDATE SET "
      "state = excluded.state, attempts = excluded.attempts, reply = excluded.reply, "
      "next_attempt = excluded.next_attempt",
      result);
  // 'held' as a literal, so that the partial index serves the plan whatever is bound.
  heldFrom_ = Prepare("SELECT " MURMEL_ROW_COLUMNS
                      " FROM messages WHERE state = 'held' AND lower(sender) = lower(?1) "
                      "ORDER BY received, id",
                      result);
  heldBefore_ = Prepare("SELECT " MURMEL_ROW_COLUMNS
                        " FROM messages WHERE state = 'held' AND received < ?1 "
                        "ORDER BY received, id",
                        result);
  sender_ =
      Prepare("SELECT key, verified_until, token, mailed_at FROM senders WHERE key = ?1", result);
  // "token <> ''" repeats the partial index's condition so that SQLite uses it.
  senderByToken_ = Prepare(
      "SELECT key, verified_until, token, mailed_at FROM senders WHERE token = ?1 AND token <> ''",
      result);
  // An upsert on the key rather than INSERT OR REPLACE: a clash of tokens must fail, not
  // silently delete the other sender's record.
  putSender_ = Prepare(
      "INSERT INTO senders(key, verified_until, token, mailed_at) VALUES (?1, ?2, ?3, ?4) "
      "ON CONFLICT(key) DO UPDATE SET verified_until = excluded.verified_until, "
      "token = excluded.token, mailed_at = excluded.mailed_at",
      result);
  return result;
}

int SqliteStore::Version() {
  sqlite3_stmt* version = nullptr;
  if (sqlite3_prepare_v2(db_, "PRAGMA user_version", -1, &version, nullptr) != SQLITE_OK) {
    return -1;
  }
  const int found = sqlite3_step(version) == SQLITE_ROW ? sqlite3_column_int(version, 0) : -1;
  sqlite3_finalize(version);
  return found;
}

Result SqliteStore::Migrate() {
  int found = Version();
  if (found == kSchemaVersion) return {};
  // Another process may be creating or migrating the same file: decide under the lock.
  if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
    return Fail("cannot lock it to set up its tables");
  }
  found = Version();
  Result result;
  if (found < 0) {
    result = Fail("cannot read its version");
  } else if (found < kSchemaVersion) {
    // A fresh file gets an empty table to move from: one script serves every version.
    std::string script;
    if (found < 3) {
      script = (found == 0 ? MessagesTable("messages") : std::string()) +
               MessagesTable("messages_new") + (found == 2 ? kFromVersion2 : kFromVersion1) +
               kMessagesRest + (found == 2 ? "" : kSendersTable) + kRecipientsTable;
    }
    if (found < 4) script += kRateTable;
    script += kPicturesTable;
    if (sqlite3_exec(db_, script.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
      result = Fail(found == 0 ? "cannot create its tables"
                               : "cannot migrate it from version " + std::to_string(found));
    }
  } else if (found != kSchemaVersion) {
    result = {false, "catalogue " + file_.string() + " has version " + std::to_string(found) +
                         ", this server knows " + std::to_string(kSchemaVersion) +
                         ": run the server that made it, or move the file away"};
  }
  if (result.ok && sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    result = Fail("cannot commit its tables");
  }
  if (!result.ok) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  return result;
}

Result SqliteStore::Insert(const CatalogueRow& row) {
  if (insert_ == nullptr) return NotOpen();
  const Step step(insert_);
  sqlite3_bind_int64(insert_, 1, row.received);
  sqlite3_bind_text(insert_, 2, KindName(row.kind), -1, SQLITE_STATIC);
  BindText(insert_, 3, row.sender);
  BindText(insert_, 4, row.recipients);
  BindText(insert_, 5, row.subject);
  BindText(insert_, 6, row.file);
  sqlite3_bind_int64(insert_, 7, row.size);
  sqlite3_bind_text(insert_, 8, StateName(row.state), -1, SQLITE_STATIC);
  BindText(insert_, 9, row.reason);
  BindText(insert_, 10, row.clientAddress);
  if (step() != SQLITE_DONE) return Fail("cannot record " + row.file);
  return {};
}

Result SqliteStore::Remove(const std::string& file) {
  if (remove_ == nullptr) return NotOpen();
  const Step step(remove_);
  BindText(remove_, 1, file);
  if (step() != SQLITE_DONE) return Fail("cannot forget " + file);
  return {};
}

Result SqliteStore::Begin() {
  if (db_ == nullptr) return NotOpen();
  // IMMEDIATE: wait for another writer here, not halfway through the batch.
  if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
    return Fail("cannot start a transaction");
  }
  return {};
}

Result SqliteStore::Commit() {
  if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    Result failed = Fail("cannot commit");
    Rollback();
    return failed;
  }
  return {};
}

void SqliteStore::Rollback() { sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr); }

Result SqliteStore::SetState(const std::string& file, MessageState state,
                             const std::string& reason) {
  if (update_ == nullptr) return NotOpen();
  const Step step(update_);
  BindText(update_, 1, file);
  sqlite3_bind_text(update_, 2, StateName(state), -1, SQLITE_STATIC);
  BindText(update_, 3, reason);
  if (step() != SQLITE_DONE) return Fail("cannot record the state of " + file);
  if (sqlite3_changes(db_) == 0) {
    return {false, "catalogue " + file_.string() + " has no row for " + file};
  }
  return {};
}

std::vector<CatalogueRow> SqliteStore::Rows(sqlite3_stmt* statement, Result& result) {
  std::vector<CatalogueRow> rows;
  int status = SQLITE_ROW;
  while ((status = sqlite3_step(statement)) == SQLITE_ROW) rows.push_back(RowAt(statement));
  result = status == SQLITE_DONE ? Result{} : Fail("cannot read");
  return rows;
}

std::vector<CatalogueRow> SqliteStore::Newest(int count, Result& result) {
  if (newest_ == nullptr) {
    result = NotOpen();
    return {};
  }
  const Step step(newest_);
  sqlite3_bind_int(newest_, 1, count);
  return Rows(newest_, result);
}

std::optional<CatalogueRow> SqliteStore::Find(const std::string& file, Result& result) {
  if (row_ == nullptr) {
    result = NotOpen();
    return std::nullopt;
  }
  const Step step(row_);
  BindText(row_, 1, file);
  std::vector<CatalogueRow> rows = Rows(row_, result);
  if (rows.empty()) return std::nullopt;
  return std::move(rows.front());
}

std::vector<RecipientRecord> SqliteStore::RecipientRecords(const CatalogueRow& row,
                                                           Result& result) {
  std::vector<RecipientRecord> records;
  for (std::string& address : SplitAddresses(row.recipients)) {
    records.emplace_back().address = std::move(address);
  }
  if (recipientRecords_ == nullptr) {
    result = NotOpen();
    return records;
  }
  const Step step(recipientRecords_);
  BindText(recipientRecords_, 1, row.file);
  int status = SQLITE_ROW;
  while ((status = step()) == SQLITE_ROW) {
    const std::string address = Column(recipientRecords_, 0);
    const auto it = std::find_if(records.begin(), records.end(),
                                 [&](const RecipientRecord& r) { return r.address == address; });
    if (it == records.end()) continue;
    it->state = RecipientStateNamed(Column(recipientRecords_, 1));
    it->attempts = sqlite3_column_int(recipientRecords_, 2);
    it->reply = Column(recipientRecords_, 3);
    it->nextAttempt = static_cast<std::time_t>(sqlite3_column_int64(recipientRecords_, 4));
  }
  result = status == SQLITE_DONE ? Result{} : Fail("cannot read the recipients of " + row.file);
  return records;
}

Result SqliteStore::RetryFailed(const std::string& file) {
  if (retryFailed_ == nullptr) return NotOpen();
  const Step step(retryFailed_);
  BindText(retryFailed_, 1, file);
  if (step() != SQLITE_DONE) return Fail("cannot retry the recipients of " + file);
  return {};
}

Result SqliteStore::PutRecipient(const std::string& file, const RecipientRecord& record) {
  if (putRecipient_ == nullptr) return NotOpen();
  const Step step(putRecipient_);
  BindText(putRecipient_, 1, file);
  BindText(putRecipient_, 2, record.address);
  sqlite3_bind_text(putRecipient_, 3, RecipientStateName(record.state), -1, SQLITE_STATIC);
  sqlite3_bind_int(putRecipient_, 4, record.attempts);
  BindText(putRecipient_, 5, record.reply);
  sqlite3_bind_int64(putRecipient_, 6, record.nextAttempt);
  if (step() != SQLITE_DONE) return Fail("cannot record recipient " + record.address);
  return {};
}

std::vector<CatalogueRow> SqliteStore::HeldFrom(const std::string& senderKey, Result& result) {
  if (heldFrom_ == nullptr) {
    result = NotOpen();
    return {};
  }
  const Step step(heldFrom_);
  BindText(heldFrom_, 1, senderKey);
  return Rows(heldFrom_, result);
}

std::vector<CatalogueRow> SqliteStore::HeldBefore(std::time_t before, Result& result) {
  if (heldBefore_ == nullptr) {
    result = NotOpen();
    return {};
  }
  const Step step(heldBefore_);
  sqlite3_bind_int64(heldBefore_, 1, before);
  return Rows(heldBefore_, result);
}

std::optional<std::vector<std::string>> SqliteStore::Recipients(const std::string& file,
                                                                Result& result) {
  if (recipients_ == nullptr) {
    result = NotOpen();
    return std::nullopt;
  }
  const Step step(recipients_);
  BindText(recipients_, 1, file);
  const int status = step();
  result = status == SQLITE_ROW || status == SQLITE_DONE ? Result{}
                                                         : Fail("cannot read the row of " + file);
  if (status != SQLITE_ROW) return std::nullopt;
  return SplitAddresses(Column(recipients_, 0));
}

SenderRecord SqliteStore::Sender(const std::string& key, Result& result) {
  SenderRecord record;
  record.key = key;
  if (sender_ == nullptr) {
    result = NotOpen();
    return record;
  }
  const Step step(sender_);
  BindText(sender_, 1, key);
  const int status = step();
  result =
      status == SQLITE_ROW || status == SQLITE_DONE ? Result{} : Fail("cannot read sender " + key);
  if (status == SQLITE_ROW) record = SenderAt(sender_);
  return record;
}

std::optional<SenderRecord> SqliteStore::SenderByToken(const std::string& token, Result& result) {
  result = {};
  if (token.empty()) return std::nullopt;
  if (senderByToken_ == nullptr) {
    result = NotOpen();
    return std::nullopt;
  }
  const Step step(senderByToken_);
  BindText(senderByToken_, 1, token);
  const int status = step();
  if (status == SQLITE_ROW) return SenderAt(senderByToken_);
  if (status != SQLITE_DONE) result = Fail("cannot look up a confirmation token");
  return std::nullopt;
}

Result SqliteStore::PutSender(const SenderRecord& record) {
  if (putSender_ == nullptr) return NotOpen();
  const Step step(putSender_);
  BindText(putSender_, 1, record.key);
  sqlite3_bind_int64(putSender_, 2, record.verifiedUntil);
  BindText(putSender_, 3, record.token);
  sqlite3_bind_int64(putSender_, 4, record.mailedAt);
  if (step() != SQLITE_DONE) return Fail("cannot record sender " + record.key);
  return {};
}

std::vector<RateCount> SqliteStore::ShareRates(std::vector<RateCount> added, std::int64_t fromHour,
                                               std::int64_t& since, Result& result) {
  std::vector<RateCount> totals;
  if (db_ == nullptr) {
    result = NotOpen();
    return totals;
  }
  if (result = Begin(); !result.ok) return totals;
  sqlite3_stmt* add = nullptr;
  sqlite3_stmt* forget = nullptr;
  sqlite3_stmt* read = nullptr;
  constexpr char kNowMs[] = "CAST((julianday('now') - 2440587.5) * 86400000 AS INTEGER)";
  const std::string addSql = std::string(
                                 "INSERT INTO rate_counts(kind, key, hour, count, touched) "
                                 "VALUES (?1, ?2, ?3, ?4, ") +
                             kNowMs +
                             ") ON CONFLICT(kind, key, hour) DO UPDATE SET "
                             "count = count + excluded.count, touched = excluded.touched";
  const std::string readSql = std::string("SELECT kind, key, hour, count, ") + kNowMs +
                              " FROM rate_counts WHERE hour >= ?1 AND touched >= ?2";
  bool ok = sqlite3_prepare_v2(db_, addSql.c_str(), -1, &add, nullptr) == SQLITE_OK &&
            sqlite3_prepare_v2(db_, "DELETE FROM rate_counts WHERE hour < ?1", -1, &forget,
                               nullptr) == SQLITE_OK &&
            sqlite3_prepare_v2(db_, readSql.c_str(), -1, &read, nullptr) == SQLITE_OK;
  for (const RateCount& count : MergedRates(std::move(added))) {
    if (!ok) break;
    const Step step(add);
    sqlite3_bind_text(add, 1, RateKindName(count.kind), -1, SQLITE_STATIC);
    BindText(add, 2, count.key);
    sqlite3_bind_int64(add, 3, count.hour);
    sqlite3_bind_int64(add, 4, count.count);
    ok = step() == SQLITE_DONE;
  }
  if (ok) {
    const Step step(forget);
    sqlite3_bind_int64(forget, 1, fromHour);
    ok = step() == SQLITE_DONE;
  }
  std::int64_t now = 0;
  if (ok) {
    sqlite3_bind_int64(read, 1, fromHour);
    sqlite3_bind_int64(read, 2, since);
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(read)) == SQLITE_ROW) {
      totals.push_back({RateKindNamed(Column(read, 0)), Column(read, 1),
                        sqlite3_column_int64(read, 2), sqlite3_column_int64(read, 3)});
      now = sqlite3_column_int64(read, 4);
    }
    ok = step == SQLITE_DONE;
  }
  if (!ok) result = Fail("cannot share the message counts");
  for (sqlite3_stmt* statement : {add, forget, read}) sqlite3_finalize(statement);
  if (!result.ok) {
    Rollback();
    totals.clear();
    return totals;
  }
  if (result = Commit(); !result.ok) totals.clear();
  if (result.ok && !totals.empty()) since = now - kRateSettleMs;
  return totals;
}

std::optional<PictureRecord> SqliteStore::OnePicture(const char* sql, const std::string& text,
                                                     int pending, Result& result) {
  result = {};
  if (db_ == nullptr) {
    result = NotOpen();
    return std::nullopt;
  }
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK) {
    result = Fail("cannot read a picture");
    return std::nullopt;
  }
  BindText(statement, 1, text);
  if (pending >= 0) sqlite3_bind_int(statement, 2, pending);
  std::optional<PictureRecord> found;
  const int step = sqlite3_step(statement);
  if (step == SQLITE_ROW) found = PictureAt(statement);
  if (step != SQLITE_ROW && step != SQLITE_DONE) result = Fail("cannot read a picture");
  sqlite3_finalize(statement);
  return found;
}

std::optional<PictureRecord> SqliteStore::Picture(const std::string& key, bool pending,
                                                  Result& result) {
  return OnePicture(
      "SELECT key, pending, sender, token, registered, bytes FROM pictures "
      "WHERE key = ?1 AND pending = ?2",
      key, pending ? 1 : 0, result);
}

std::optional<PictureRecord> SqliteStore::PictureByToken(const std::string& token, Result& result) {
  if (token.empty()) {
    result = {};
    return std::nullopt;
  }
  return OnePicture(
      "SELECT key, pending, sender, token, registered, bytes FROM pictures "
      "WHERE token = ?1 AND token <> ''",
      token, -1, result);
}

Result SqliteStore::ChangePicture(const char* sql, const PictureRecord& picture) {
  if (db_ == nullptr) return NotOpen();
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK) {
    return Fail("cannot change the picture of " + picture.key);
  }
  BindText(statement, 1, picture.key);
  sqlite3_bind_int(statement, 2, picture.pending ? 1 : 0);
  if (sqlite3_bind_parameter_count(statement) > 2) {
    BindText(statement, 3, picture.sender);
    BindText(statement, 4, picture.token);
    sqlite3_bind_int64(statement, 5, picture.registered);
    sqlite3_bind_blob(statement, 6, picture.bytes.data(), static_cast<int>(picture.bytes.size()),
                      SQLITE_TRANSIENT);
  }
  const bool done = sqlite3_step(statement) == SQLITE_DONE;
  sqlite3_finalize(statement);
  return done ? Result{} : Fail("cannot change the picture of " + picture.key);
}

Result SqliteStore::PutPicture(const PictureRecord& picture) {
  return ChangePicture(
      "INSERT INTO pictures(key, pending, sender, token, registered, bytes) "
      "VALUES (?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT(key, pending) DO UPDATE SET "
      "sender = excluded.sender, token = excluded.token, registered = excluded.registered, "
      "bytes = excluded.bytes",
      picture);
}

Result SqliteStore::RemovePicture(const std::string& key, bool pending) {
  PictureRecord picture;
  picture.key = key;
  picture.pending = pending;
  return ChangePicture("DELETE FROM pictures WHERE key = ?1 AND pending = ?2", picture);
}
}  // namespace murmel::server
