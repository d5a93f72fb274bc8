#include "server/postgres_store.h"

#include <algorithm>
#include <array>

#include "server/store_schema.h"

namespace murmel::server {
namespace {

// Each step brings the tables from the version before it; applied in order, each in the
// same transaction as its version bump.
constexpr std::array<const char*, 3> kMigrations = {
    "CREATE TABLE messages ("
    "  id BIGSERIAL PRIMARY KEY,"
    "  received BIGINT NOT NULL,"
    MURMEL_MESSAGE_COLUMNS("BIGINT")
    "CREATE INDEX messages_by_received ON messages (received, id);"
    "CREATE INDEX messages_held ON messages (received, id) WHERE state = 'held';"
    MURMEL_RECIPIENTS_TABLE("BIGINT")
    MURMEL_SENDERS_TABLE("BIGINT"),
    MURMEL_RATE_TABLE("BIGINT"),
    MURMEL_PICTURES_TABLE("BIGINT", "BYTEA"),
};

// The database's clock, in ms: the servers' own clocks need not agree.
#define MURMEL_PG_NOW_MS "(extract(epoch FROM clock_timestamp()) * 1000)::bigint"

// Any number: all servers of a service take the same lock while they migrate.
constexpr char kMigrationLock[] = "SELECT pg_advisory_xact_lock(7210110)";

std::string Text(const PGresult* result, int row, int column) {
  return PQgetvalue(result, row, column);
}

std::int64_t Number(const PGresult* result, int row, int column) {
  return std::strtoll(PQgetvalue(result, row, column), nullptr, 10);
}

CatalogueRow RowAt(const PGresult* result, int i) {
  CatalogueRow row;
  row.id = Number(result, i, 0);
  row.received = static_cast<std::time_t>(Number(result, i, 1));
  row.kind = KindNamed(Text(result, i, 2));
  row.sender = Text(result, i, 3);
  row.recipients = Text(result, i, 4);
  row.subject = Text(result, i, 5);
  row.file = Text(result, i, 6);
  row.size = Number(result, i, 7);
  row.state = StateNamed(Text(result, i, 8));
  row.reason = Text(result, i, 9);
  row.clientAddress = Text(result, i, 10);
  row.recipientsTracked = static_cast<int>(Number(result, i, 11));
  row.recipientsSent = static_cast<int>(Number(result, i, 12));
  return row;
}

SenderRecord SenderAt(const PGresult* result, int i) {
  return {Text(result, i, 0), static_cast<std::time_t>(Number(result, i, 1)), Text(result, i, 2),
          static_cast<std::time_t>(Number(result, i, 3))};
}

// bytea in its hex text form, both ways: no binary parameters needed.
std::string HexBytes(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex = "\\x";
  hex.reserve(2 + bytes.size() * 2);
  for (const std::uint8_t byte : bytes) {
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 0xF]);
  }
  return hex;
}

std::vector<std::uint8_t> BytesOfHex(const std::string& hex) {
  const auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 2; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(digit(hex[i]) << 4 | digit(hex[i + 1])));
  }
  return bytes;
}

PictureRecord PictureAt(const PGresult* result, int i) {
  return {Text(result, i, 0),
          Text(result, i, 1) == "1",
          Text(result, i, 2),
          Text(result, i, 3),
          static_cast<std::time_t>(Number(result, i, 4)),
          BytesOfHex(Text(result, i, 5))};
}

constexpr char kPictureColumns[] =
    "SELECT key, pending, sender, token, registered, bytes FROM pictures ";

constexpr char kSenderColumns[] = "SELECT key, verified_until, token, mailed_at FROM senders ";

}  // namespace

PostgresStore::~PostgresStore() { PQfinish(db_); }

Result PostgresStore::Fail(const std::string& what) const {
  std::string reason = db_ ? PQerrorMessage(db_) : "out of memory";
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
  return {false, "database " + Describe() + ": " + what + ": " + reason};
}

PostgresStore::PgResult PostgresStore::Run(const char* sql,
                                           const std::vector<std::string>& parameters,
                                           const std::string& what, Result& result) {
  if (db_ == nullptr) {
    result = {false, "database " + Describe() + " is not open"};
    return nullptr;
  }
  std::vector<const char*> values;
  values.reserve(parameters.size());
  for (const std::string& parameter : parameters) values.push_back(parameter.c_str());
  // Without parameters a migration's many statements go as one script.
  PgResult answer(values.empty() ? PQexec(db_, sql)
                                 : PQexecParams(db_, sql, static_cast<int>(values.size()), nullptr,
                                                values.data(), nullptr, nullptr, 0));
  const ExecStatusType status = PQresultStatus(answer.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    result = Fail(what);
    return nullptr;
  }
  result = {};
  return answer;
}

Result PostgresStore::Exec(const char* sql, const std::vector<std::string>& parameters,
                           const std::string& what) {
  Result result;
  Run(sql, parameters, what, result);
  return result;
}

Result PostgresStore::Open(bool mustExist) {
  // Quietly: libpq's notices ("relation exists, skipping") are not the operator's business.
  db_ = PQconnectdb(uri_.c_str());
  if (db_ == nullptr || PQstatus(db_) != CONNECTION_OK) return Fail("cannot connect");
  PQsetNoticeProcessor(
      db_, [](void*, const char*) {}, nullptr);
  // Pictures are read back in bytea's hex form, whatever the database's default.
  if (Result set = Exec("SET bytea_output = hex", {}, "cannot set it up"); !set.ok) return set;
  if (mustExist) {
    Result result;
    const PgResult found = Run("SELECT to_regclass('murmel_schema') IS NOT NULL", {},
                               "cannot read its version", result);
    if (!result.ok) return result;
    if (Text(found.get(), 0, 0) != "t") {
      return {false, "database " + Describe() + " holds no catalogue: no server has used it"};
    }
  }
  return Migrate();
}

Result PostgresStore::Migrate() {
  Result result = Begin();
  if (result.ok) result = Exec(kMigrationLock, {}, "cannot lock it to set up its tables");
  if (result.ok) {
    result = Exec("CREATE TABLE IF NOT EXISTS murmel_schema (version INTEGER NOT NULL)", {},
                  "cannot create its version table");
  }
  PgResult found;
  if (result.ok)
    found = Run("SELECT max(version) FROM murmel_schema", {}, "cannot read its version", result);
  if (!result.ok) {
    Rollback();
    return result;
  }
  const int version = static_cast<int>(Number(found.get(), 0, 0));
  if (version > static_cast<int>(kMigrations.size())) {
    Rollback();
    return {false, "database " + Describe() + " has version " + std::to_string(version) +
                       ", this server knows " + std::to_string(kMigrations.size()) +
                       ": upgrade this server"};
  }
  for (std::size_t step = static_cast<std::size_t>(version); step < kMigrations.size(); ++step) {
    if (result = Exec(kMigrations.at(step), {},
                      "cannot migrate it to version " + std::to_string(step + 1));
        !result.ok) {
      break;
    }
  }
  if (result.ok && static_cast<std::size_t>(version) < kMigrations.size()) {
    result = Exec("DELETE FROM murmel_schema", {}, "cannot record its version");
    if (result.ok) {
      result = Exec("INSERT INTO murmel_schema VALUES ($1)", {std::to_string(kMigrations.size())},
                    "cannot record its version");
    }
  }
  if (!result.ok) {
    Rollback();
    return result;
  }
  return Commit();
}

Result PostgresStore::Insert(const CatalogueRow& row) {
  return Exec(
      "INSERT INTO messages(received, kind, sender, recipients, subject, file, size, state, "
      "reason, client_address) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10)",
      {std::to_string(row.received), KindName(row.kind), row.sender, row.recipients, row.subject,
       row.file, std::to_string(row.size), StateName(row.state), row.reason, row.clientAddress},
      "cannot record " + row.file);
}

Result PostgresStore::Remove(const std::string& file) {
  return Exec("DELETE FROM messages WHERE file = $1", {file}, "cannot forget " + file);
}

Result PostgresStore::Begin() { return Exec("BEGIN", {}, "cannot start a transaction"); }

Result PostgresStore::Commit() {
  Result result;
  const PgResult done = Run("COMMIT", {}, "cannot commit", result);
  // A transaction that an error aborted answers COMMIT with ROLLBACK: nothing was stored.
  if (result.ok && std::string(PQcmdStatus(done.get())) != "COMMIT") {
    result = {false, "database " + Describe() + ": cannot commit: the transaction was aborted"};
  }
  if (!result.ok) Rollback();
  return result;
}

void PostgresStore::Rollback() { Exec("ROLLBACK", {}, "cannot roll back"); }

Result PostgresStore::SetState(const std::string& file, MessageState state,
                               const std::string& reason) {
  Result result;
  const PgResult done =
      Run("UPDATE messages SET state = $2, reason = $3 WHERE file = $1",
          {file, StateName(state), reason}, "cannot record the state of " + file, result);
  if (result.ok && std::string(PQcmdTuples(done.get())) == "0") {
    return {false, "database " + Describe() + " has no row for " + file};
  }
  return result;
}

std::vector<CatalogueRow> PostgresStore::Rows(const char* sql,
                                              const std::vector<std::string>& parameters,
                                              Result& result) {
  std::vector<CatalogueRow> rows;
  const PgResult found = Run(sql, parameters, "cannot read", result);
  for (int i = 0; found && i < PQntuples(found.get()); ++i) rows.push_back(RowAt(found.get(), i));
  return rows;
}

std::vector<CatalogueRow> PostgresStore::Newest(int count, Result& result) {
  return Rows("SELECT " MURMEL_ROW_COLUMNS
              " FROM messages ORDER BY received DESC, id DESC LIMIT $1",
              {std::to_string(count)}, result);
}

std::optional<CatalogueRow> PostgresStore::Find(const std::string& file, Result& result) {
  std::vector<CatalogueRow> rows =
      Rows("SELECT " MURMEL_ROW_COLUMNS " FROM messages WHERE file = $1", {file}, result);
  if (rows.empty()) return std::nullopt;
  return std::move(rows.front());
}

std::optional<std::vector<std::string>> PostgresStore::Recipients(const std::string& file,
                                                                  Result& result) {
  const PgResult found = Run("SELECT recipients FROM messages WHERE file = $1", {file},
                             "cannot read the row of " + file, result);
  if (!found || PQntuples(found.get()) == 0) return std::nullopt;
  return SplitAddresses(Text(found.get(), 0, 0));
}

std::vector<RecipientRecord> PostgresStore::RecipientRecords(const CatalogueRow& row,
                                                             Result& result) {
  std::vector<RecipientRecord> records;
  for (std::string& address : SplitAddresses(row.recipients)) {
    records.emplace_back().address = std::move(address);
  }
  const PgResult found =
      Run("SELECT address, state, attempts, reply, next_attempt FROM recipients WHERE file = $1",
          {row.file}, "cannot read the recipients of " + row.file, result);
  for (int i = 0; found && i < PQntuples(found.get()); ++i) {
    const std::string address = Text(found.get(), i, 0);
    const auto it = std::find_if(records.begin(), records.end(),
                                 [&](const RecipientRecord& r) { return r.address == address; });
    if (it == records.end()) continue;
    it->state = RecipientStateNamed(Text(found.get(), i, 1));
    it->attempts = static_cast<int>(Number(found.get(), i, 2));
    it->reply = Text(found.get(), i, 3);
    it->nextAttempt = static_cast<std::time_t>(Number(found.get(), i, 4));
  }
  return records;
}

Result PostgresStore::PutRecipient(const std::string& file, const RecipientRecord& record) {
  return Exec(
      "INSERT INTO recipients(file, address, state, attempts, reply, next_attempt) "
      "VALUES ($1, $2, $3, $4, $5, $6) ON CONFLICT(file, address) DO UPDATE SET "
      "state = excluded.state, attempts = excluded.attempts, reply = excluded.reply, "
      "next_attempt = excluded.next_attempt",
      {file, record.address, RecipientStateName(record.state), std::to_string(record.attempts),
       record.reply, std::to_string(record.nextAttempt)},
      "cannot record recipient " + record.address);
}

Result PostgresStore::RetryFailed(const std::string& file) {
  return Exec("DELETE FROM recipients WHERE file = $1 AND state = 'failed'", {file},
              "cannot retry the recipients of " + file);
}

std::vector<CatalogueRow> PostgresStore::HeldFrom(const std::string& senderKey, Result& result) {
  return Rows("SELECT " MURMEL_ROW_COLUMNS
              " FROM messages WHERE state = 'held' AND lower(sender) = lower($1) "
              "ORDER BY received, id",
              {senderKey}, result);
}

std::vector<CatalogueRow> PostgresStore::HeldBefore(std::time_t before, Result& result) {
  return Rows("SELECT " MURMEL_ROW_COLUMNS
              " FROM messages WHERE state = 'held' AND received < $1 ORDER BY received, id",
              {std::to_string(before)}, result);
}

SenderRecord PostgresStore::Sender(const std::string& key, Result& result) {
  const PgResult found = Run((std::string(kSenderColumns) + "WHERE key = $1").c_str(), {key},
                             "cannot read sender " + key, result);
  if (found && PQntuples(found.get()) > 0) return SenderAt(found.get(), 0);
  SenderRecord record;
  record.key = key;
  return record;
}

std::optional<SenderRecord> PostgresStore::SenderByToken(const std::string& token, Result& result) {
  const PgResult found =
      ByToken(kSenderColumns, token, "cannot look up a confirmation token", result);
  if (found) return SenderAt(found.get(), 0);
  return std::nullopt;
}

PostgresStore::PgResult PostgresStore::ByToken(const char* columns, const std::string& token,
                                               const std::string& what, Result& result) {
  result = {};
  if (token.empty()) return nullptr;
  PgResult found = Run((std::string(columns) + "WHERE token = $1 AND token <> ''").c_str(), {token},
                       what, result);
  if (!found || PQntuples(found.get()) == 0) return nullptr;
  return found;
}

Result PostgresStore::PutSender(const SenderRecord& record) {
  // An upsert on the key: a clash of tokens must fail, not delete another sender's record.
  return Exec(
      "INSERT INTO senders(key, verified_until, token, mailed_at) VALUES ($1, $2, $3, $4) "
      "ON CONFLICT(key) DO UPDATE SET verified_until = excluded.verified_until, "
      "token = excluded.token, mailed_at = excluded.mailed_at",
      {record.key, std::to_string(record.verifiedUntil), record.token,
       std::to_string(record.mailedAt)},
      "cannot record sender " + record.key);
}

std::vector<RateCount> PostgresStore::ShareRates(std::vector<RateCount> added,
                                                 std::int64_t fromHour, std::int64_t& since,
                                                 Result& result) {
  std::vector<RateCount> totals;
  if (result = Begin(); !result.ok) return totals;
  for (const RateCount& count : MergedRates(std::move(added))) {
    result = Exec(
        "INSERT INTO rate_counts(kind, key, hour, count, touched) VALUES ($1, $2, $3, "
        "$4, " MURMEL_PG_NOW_MS
        ") ON CONFLICT(kind, key, hour) DO UPDATE SET "
        "count = rate_counts.count + excluded.count, touched = excluded.touched",
        {RateKindName(count.kind), count.key, std::to_string(count.hour),
         std::to_string(count.count)},
        "cannot add to the counts of " + count.key);
    if (!result.ok) break;
  }
  if (result.ok) {
    result = Exec("DELETE FROM rate_counts WHERE hour < $1", {std::to_string(fromHour)},
                  "cannot forget old counts");
  }
  PgResult found;
  if (result.ok) {
    found =
        Run("SELECT kind, key, hour, count, " MURMEL_PG_NOW_MS
            " FROM rate_counts WHERE hour >= $1 AND touched >= $2",
            {std::to_string(fromHour), std::to_string(since)}, "cannot read the counts", result);
  }
  if (!result.ok) {
    Rollback();
    return totals;
  }
  if (result = Commit(); !result.ok) return totals;
  for (int i = 0; i < PQntuples(found.get()); ++i) {
    totals.push_back({RateKindNamed(Text(found.get(), i, 0)), Text(found.get(), i, 1),
                      Number(found.get(), i, 2), Number(found.get(), i, 3)});
  }
  if (PQntuples(found.get()) > 0) since = Number(found.get(), 0, 4) - kRateSettleMs;
  return totals;
}

std::optional<PictureRecord> PostgresStore::Picture(const std::string& key, bool pending,
                                                    Result& result) {
  const PgResult found =
      Run((std::string(kPictureColumns) + "WHERE key = $1 AND pending = $2").c_str(),
          {key, pending ? "1" : "0"}, "cannot read the picture of " + key, result);
  if (found && PQntuples(found.get()) > 0) return PictureAt(found.get(), 0);
  return std::nullopt;
}

std::optional<PictureRecord> PostgresStore::PictureByToken(const std::string& token,
                                                           Result& result) {
  const PgResult found = ByToken(kPictureColumns, token, "cannot look up a picture link", result);
  if (found) return PictureAt(found.get(), 0);
  return std::nullopt;
}

Result PostgresStore::PutPicture(const PictureRecord& picture) {
  return Exec(
      "INSERT INTO pictures(key, pending, sender, token, registered, bytes) "
      "VALUES ($1, $2, $3, $4, $5, $6) ON CONFLICT(key, pending) DO UPDATE SET "
      "sender = excluded.sender, token = excluded.token, registered = excluded.registered, "
      "bytes = excluded.bytes",
      {picture.key, picture.pending ? "1" : "0", picture.sender, picture.token,
       std::to_string(picture.registered), HexBytes(picture.bytes)},
      "cannot record the picture of " + picture.key);
}

Result PostgresStore::RemovePicture(const std::string& key, bool pending) {
  return Exec("DELETE FROM pictures WHERE key = $1 AND pending = $2", {key, pending ? "1" : "0"},
              "cannot remove the picture of " + key);
}
}  // namespace murmel::server
