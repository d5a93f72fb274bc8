// The embedded store: one SQLite file in the state folder, in WAL mode, committed with
// FULL sync so that a row is on disk before its client hears TROK.
#pragma once

#include <sqlite3.h>

#include <filesystem>

#include "server/store.h"

namespace murmel::server {

class SqliteStore final : public Store {
 public:
  explicit SqliteStore(std::filesystem::path file) : file_(std::move(file)) {}
  ~SqliteStore() override;

  Result Open(bool mustExist = false) override;
  std::string Describe() const override { return file_.string(); }
  Result Insert(const CatalogueRow& row) override;
  Result Remove(const std::string& file) override;
  Result Begin() override;
  Result Commit() override;
  void Rollback() override;
  Result SetState(const std::string& file, MessageState state, const std::string& reason) override;
  std::vector<CatalogueRow> Newest(int count, Result& result) override;
  std::optional<std::vector<std::string>> Recipients(const std::string& file,
                                                     Result& result) override;
  std::optional<CatalogueRow> Find(const std::string& file, Result& result) override;
  std::vector<RecipientRecord> RecipientRecords(const CatalogueRow& row, Result& result) override;
  Result PutRecipient(const std::string& file, const RecipientRecord& record) override;
  Result RetryFailed(const std::string& file) override;
  std::vector<CatalogueRow> HeldFrom(const std::string& senderKey, Result& result) override;
  std::vector<CatalogueRow> HeldBefore(std::time_t before, Result& result) override;
  SenderRecord Sender(const std::string& key, Result& result) override;
  std::optional<SenderRecord> SenderByToken(const std::string& token, Result& result) override;
  Result PutSender(const SenderRecord& record) override;
  std::optional<PictureRecord> Picture(const std::string& key, bool pending,
                                       Result& result) override;
  std::optional<PictureRecord> PictureByToken(const std::string& token, Result& result) override;
  Result PutPicture(const PictureRecord& picture) override;
  Result RemovePicture(const std::string& key, bool pending) override;
  std::vector<RateCount> ShareRates(std::vector<RateCount> added, std::int64_t fromHour,
                                    std::int64_t& since, Result& result) override;

  const std::filesystem::path& file() const { return file_; }

 private:
  // Pictures are few and rare: prepared when used. pending < 0: not bound.
  std::optional<PictureRecord> OnePicture(const char* sql, const std::string& text, int pending,
                                          Result& result);
  Result ChangePicture(const char* sql, const PictureRecord& picture);
  Result Fail(const std::string& what) const;
  Result NotOpen() const;
  int Version();  // -1 when it cannot be read
  Result Migrate();
  sqlite3_stmt* Prepare(const char* sql, Result& result);
  // Steps a statement that selects whole rows; the caller resets it.
  std::vector<CatalogueRow> Rows(sqlite3_stmt* statement, Result& result);

  std::filesystem::path file_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* update_ = nullptr;
  sqlite3_stmt* remove_ = nullptr;
  sqlite3_stmt* newest_ = nullptr;
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

}  // namespace murmel::server
