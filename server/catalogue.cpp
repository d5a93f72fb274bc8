#include "server/catalogue.h"

#include <algorithm>
#include <array>
#include <system_error>

#include "server/delivery.h"
#include "server/gmime_support.h"
#include "server/smtp_relay.h"

namespace murmel::server {
namespace {

constexpr int kSchemaVersion = 1;

constexpr std::array<const char*, 3> kKindNames = {"voice", "picture-confirmation",
                                                   "picture-cleared"};
constexpr std::array<const char*, 3> kStateNames = {"new", "sent", "failed"};

template <std::size_t N>
int IndexOf(const std::array<const char*, N>& names, const unsigned char* text) {
  if (text == nullptr) return 0;
  const std::string value(reinterpret_cast<const char*>(text));
  for (std::size_t i = 0; i < N; ++i) {
    if (value == names[i]) return static_cast<int>(i);
  }
  return 0;
}

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

// Characters on a terminal, near enough: UTF-8 continuation bytes take no column.
std::size_t Width(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0U) != 0x80U;
  }));
}

std::string UtcTime(std::time_t when) {
  std::tm parts{};
  gmtime_r(&when, &parts);
  std::array<char, 32> text{};
  std::strftime(text.data(), text.size(), "%Y-%m-%d %H:%M:%S", &parts);
  return text.data();
}

}  // namespace

Catalogue::~Catalogue() {
  for (sqlite3_stmt* statement : {insert_, update_, newest_, find_}) sqlite3_finalize(statement);
  sqlite3_close(db_);
}

IoResult Catalogue::Fail(const std::string& what) const {
  return {false, "catalogue " + file_.string() + ": " + what + ": " +
                     (db_ ? sqlite3_errmsg(db_) : "out of memory")};
}

sqlite3_stmt* Catalogue::Prepare(const char* sql, IoResult& result) {
  sqlite3_stmt* statement = nullptr;
  if (result.ok && sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement,
                                      nullptr) != SQLITE_OK) {
    result = Fail("cannot prepare a statement");
  }
  return statement;
}

IoResult Catalogue::Open(bool mustExist) {
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
  if (IoResult migrated = Migrate(); !migrated.ok) return migrated;
  IoResult result;
  insert_ = Prepare(
      "INSERT INTO messages(received, kind, sender, recipients, subject, file, size, state, "
      "reason) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)",
      result);
  update_ = Prepare("UPDATE messages SET state = ?2, reason = ?3 WHERE file = ?1", result);
  newest_ = Prepare(
      "SELECT id, received, kind, sender, recipients, subject, file, size, state, reason "
      "FROM messages ORDER BY received DESC, id DESC LIMIT ?1",
      result);
  find_ = Prepare("SELECT state FROM messages WHERE file = ?1", result);
  return result;
}

IoResult Catalogue::Migrate() {
  sqlite3_stmt* version = nullptr;
  if (sqlite3_prepare_v2(db_, "PRAGMA user_version", -1, &version, nullptr) != SQLITE_OK) {
    return Fail("cannot read its version");
  }
  const int found = sqlite3_step(version) == SQLITE_ROW ? sqlite3_column_int(version, 0) : -1;
  sqlite3_finalize(version);
  if (found == kSchemaVersion) return {};
  if (found != 0) {
    return {false, "catalogue " + file_.string() + " has version " + std::to_string(found) +
                       ", this server knows " + std::to_string(kSchemaVersion) +
                       ": run the server that made it, or move the file away"};
  }
  constexpr char kSchema[] =
      "BEGIN IMMEDIATE;"
      "CREATE TABLE messages ("
      "  id INTEGER PRIMARY KEY,"
      "  received INTEGER NOT NULL,"
      "  kind TEXT NOT NULL CHECK (kind IN ('voice', 'picture-confirmation', "
      "'picture-cleared')),"
      "  sender TEXT NOT NULL,"
      "  recipients TEXT NOT NULL,"
      "  subject TEXT NOT NULL,"
      "  file TEXT NOT NULL UNIQUE,"
      "  size INTEGER NOT NULL,"
      "  state TEXT NOT NULL CHECK (state IN ('new', 'sent', 'failed')),"
      "  reason TEXT NOT NULL DEFAULT '');"
      "CREATE INDEX messages_by_received ON messages (received, id);"
      "PRAGMA user_version = 1;"
      "COMMIT;";
  if (sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
    IoResult failed = Fail("cannot create its table");
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return failed;
  }
  return {};
}

IoResult Catalogue::Insert(const CatalogueRow& row) {
  if (insert_ == nullptr) return {false, "catalogue " + file_.string() + " is not open"};
  const Step step(insert_);
  sqlite3_bind_int64(insert_, 1, row.received);
  sqlite3_bind_text(insert_, 2, kKindNames.at(static_cast<std::size_t>(row.kind)), -1,
                    SQLITE_STATIC);
  BindText(insert_, 3, row.sender);
  BindText(insert_, 4, row.recipients);
  BindText(insert_, 5, row.subject);
  BindText(insert_, 6, row.file);
  sqlite3_bind_int64(insert_, 7, row.size);
  sqlite3_bind_text(insert_, 8, kStateNames.at(static_cast<std::size_t>(row.state)), -1,
                    SQLITE_STATIC);
  BindText(insert_, 9, row.reason);
  if (step() != SQLITE_DONE) return Fail("cannot record " + row.file);
  return {};
}

IoResult Catalogue::SetState(const std::string& file, MessageState state,
                             const std::string& reason) {
  if (update_ == nullptr) return {false, "catalogue " + file_.string() + " is not open"};
  const Step step(update_);
  BindText(update_, 1, file);
  sqlite3_bind_text(update_, 2, kStateNames.at(static_cast<std::size_t>(state)), -1, SQLITE_STATIC);
  BindText(update_, 3, reason);
  if (step() != SQLITE_DONE) return Fail("cannot record the state of " + file);
  if (sqlite3_changes(db_) == 0) {
    return {false, "catalogue " + file_.string() + " has no row for " + file};
  }
  return {};
}

std::vector<CatalogueRow> Catalogue::Newest(int count, IoResult& result) {
  std::vector<CatalogueRow> rows;
  if (newest_ == nullptr) {
    result = {false, "catalogue " + file_.string() + " is not open"};
    return rows;
  }
  const Step step(newest_);
  sqlite3_bind_int(newest_, 1, count);
  int status = SQLITE_ROW;
  while ((status = step()) == SQLITE_ROW) {
    CatalogueRow row;
    row.id = sqlite3_column_int64(newest_, 0);
    row.received = static_cast<std::time_t>(sqlite3_column_int64(newest_, 1));
    row.kind = static_cast<MessageKind>(IndexOf(kKindNames, sqlite3_column_text(newest_, 2)));
    row.sender = Column(newest_, 3);
    row.recipients = Column(newest_, 4);
    row.subject = Column(newest_, 5);
    row.file = Column(newest_, 6);
    row.size = sqlite3_column_int64(newest_, 7);
    row.state = static_cast<MessageState>(IndexOf(kStateNames, sqlite3_column_text(newest_, 8)));
    row.reason = Column(newest_, 9);
    rows.push_back(std::move(row));
  }
  result = status == SQLITE_DONE ? IoResult{} : Fail("cannot read");
  return rows;
}

ReconcileSummary Catalogue::Reconcile(const std::filesystem::path& outboxRoot) {
  ReconcileSummary summary;
  if (find_ == nullptr) {
    summary.result = {false, "catalogue " + file_.string() + " is not open"};
    return summary;
  }
  // One transaction: an outbox from before the catalogue may hold thousands of files.
  if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
    summary.result = Fail("cannot start reconciling");
    return summary;
  }
  summary.result = AddMissing(outboxRoot, summary);
  if (summary.result.ok && sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    summary.result = Fail("cannot commit the reconciled rows");
  }
  if (!summary.result.ok) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    summary.added = summary.updated = 0;
  }
  return summary;
}

IoResult Catalogue::AddMissing(const std::filesystem::path& outboxRoot, ReconcileSummary& summary) {
  constexpr std::array<MessageState, 3> kFolders = {MessageState::New, MessageState::Sent,
                                                    MessageState::Failed};
  for (const MessageState state : kFolders) {
    const std::filesystem::path folder =
        outboxRoot / kStateNames.at(static_cast<std::size_t>(state));
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
      const std::string name = entry.path().filename().string();
      if (name.starts_with('.') || !entry.is_regular_file(error)) continue;
      int known = -1;
      {
        const Step step(find_);
        BindText(find_, 1, name);
        const int status = step();
        if (status == SQLITE_ROW) {
          known = IndexOf(kStateNames, sqlite3_column_text(find_, 0));
        } else if (status != SQLITE_DONE) {
          return Fail("cannot look up " + name);
        }
      }
      if (known == static_cast<int>(state)) continue;
      if (known >= 0) {
        // The relay moved it but could not record that (or crashed in between).
        IoResult updated = SetState(name, state, "found in " + folder.filename().string() + "/");
        if (!updated.ok) return updated;
        ++summary.updated;
        continue;
      }
      const std::string mail = ReadWholeFile(entry.path()).value_or(std::string());
      CatalogueRow row = RowFromMail(mail);
      row.file = name;
      row.size = static_cast<std::int64_t>(mail.size());
      row.state = state;
      // Maildir names begin with the second of delivery.
      std::time_t received = 0;
      for (const char c : name) {
        if (c < '0' || c > '9') break;
        received = received * 10 + (c - '0');
      }
      if (row.received == 0) row.received = received;
      if (IoResult inserted = Insert(row); !inserted.ok) return inserted;
      ++summary.added;
    }
  }
  return {};
}

std::string JoinAddresses(const std::vector<std::string>& addresses) {
  std::string out;
  for (const std::string& address : addresses) {
    if (!out.empty()) out += ", ";
    out += address;
  }
  return out;
}

CatalogueRow RowFromMail(const std::string& mail) {
  CatalogueRow row;
  const GObjectPtr<GMimeMessage> message = ParseMailHeaders(mail);
  if (!message) return row;
  if (InternetAddressList* from = g_mime_message_get_from(message.get());
      from != nullptr && internet_address_list_length(from) > 0) {
    InternetAddress* first = internet_address_list_get_address(from, 0);
    if (INTERNET_ADDRESS_IS_MAILBOX(first)) {
      row.sender = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(first));
    }
  }
  if (const char* subject = g_mime_message_get_subject(message.get())) row.subject = subject;
  row.recipients = JoinAddresses(MessageRecipients(message.get()));
  if (GDateTime* date = g_mime_message_get_date(message.get())) {
    row.received = static_cast<std::time_t>(g_date_time_to_unix(date));
  }
  if (row.sender == kServerAddress) {
    row.kind = row.subject == kPictureClearedSubject ? MessageKind::PictureCleared
                                                     : MessageKind::PictureConfirmation;
  }
  return row;
}

std::string FormatRows(const std::vector<CatalogueRow>& rows) {
  if (rows.empty()) return "No messages in the catalogue.\n";
  using Line = std::array<std::string, 9>;
  std::vector<Line> lines = {
      {"ID", "RECEIVED (UTC)", "KIND", "STATE", "BYTES", "FROM", "TO", "SUBJECT", "FILE"}};
  for (const CatalogueRow& row : rows) {
    std::string state = kStateNames.at(static_cast<std::size_t>(row.state));
    if (row.state == MessageState::Failed && !row.reason.empty()) state += ": " + row.reason;
    lines.push_back({std::to_string(row.id), UtcTime(row.received),
                     kKindNames.at(static_cast<std::size_t>(row.kind)), state,
                     std::to_string(row.size), row.sender, row.recipients, row.subject, row.file});
  }
  std::array<std::size_t, 9> widths{};
  for (const Line& line : lines) {
    for (std::size_t i = 0; i < line.size(); ++i)
      widths.at(i) = std::max(widths.at(i), Width(line.at(i)));
  }
  std::string out;
  for (const Line& line : lines) {
    std::string text;
    for (std::size_t i = 0; i < line.size(); ++i) {
      text += line.at(i);
      if (i + 1 < line.size()) text.append(widths.at(i) - Width(line.at(i)) + 2, ' ');
    }
    out += text + "\n";
  }
  return out;
}

}  // namespace murmel::server
