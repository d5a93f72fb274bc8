// The catalogue: one SQLite row per accepted e-mail, beside its file in the Maildir outbox.
// A message counts as accepted only once both exist; the relay records on the row what
// became of the file, and operators read the rows with --list.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "server/durable_file.h"

namespace murmel::server {

inline constexpr char kCatalogueFileName[] = "catalogue.sqlite3";

enum class MessageKind { Voice, PictureConfirmation, PictureCleared };
enum class MessageState { New, Sent, Failed };

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
  std::string reason;  // why it failed; the relay's last reply when sent
};

struct ReconcileSummary {
  IoResult result;
  int added = 0;    // files that had no row
  int updated = 0;  // rows whose state lagged behind their file's folder
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
  IoResult SetState(const std::string& file, MessageState state, const std::string& reason);
  // Newest first.
  std::vector<CatalogueRow> Newest(int count, IoResult& result);
  // Rows for files in outboxRoot's new/, sent/ and failed/ that have none: left there by a
  // crash between rename and commit, or by a server from before the catalogue.
  ReconcileSummary Reconcile(const std::filesystem::path& outboxRoot);

  const std::filesystem::path& file() const { return file_; }

 private:
  IoResult Fail(const std::string& what) const;
  IoResult Migrate();
  IoResult AddMissing(const std::filesystem::path& outboxRoot, ReconcileSummary& summary);
  sqlite3_stmt* Prepare(const char* sql, IoResult& result);

  std::filesystem::path file_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* update_ = nullptr;
  sqlite3_stmt* newest_ = nullptr;
  sqlite3_stmt* find_ = nullptr;
};

std::string JoinAddresses(const std::vector<std::string>& addresses);

// What a stray outbox file says about itself, read from its headers.
CatalogueRow RowFromMail(const std::string& mail);

// The rows as an aligned text table for the terminal, one line each.
std::string FormatRows(const std::vector<CatalogueRow>& rows);

}  // namespace murmel::server
