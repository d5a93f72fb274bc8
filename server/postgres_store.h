// The shared store: PostgreSQL through libpq, so that several servers act as one service.
// Credentials come from the URI, PGPASSFILE or the environment, as libpq reads them; the
// password never appears in a message.
#pragma once

#include <libpq-fe.h>

#include <string>
#include <vector>

#include "server/store.h"

namespace murmel::server {

class PostgresStore final : public Store {
 public:
  explicit PostgresStore(std::string uri) : uri_(std::move(uri)) {}
  ~PostgresStore() override;

  Result Open(bool mustExist = false) override;
  std::string Describe() const override { return RedactedLocation(uri_); }
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

 private:
  struct PgResultClear {
    void operator()(PGresult* result) const { PQclear(result); }
  };
  using PgResult = std::unique_ptr<PGresult, PgResultClear>;

  // Runs sql with text parameters; on failure result says what with the server's reason.
  PgResult Run(const char* sql, const std::vector<std::string>& parameters, const std::string& what,
               Result& result);
  Result Exec(const char* sql, const std::vector<std::string>& parameters, const std::string& what);
  std::vector<CatalogueRow> Rows(const char* sql, const std::vector<std::string>& parameters,
                                 Result& result);
  // The rows whose pending token this is; nullptr when none (or no token).
  PgResult ByToken(const char* columns, const std::string& token, const std::string& what,
                   Result& result);
  Result Fail(const std::string& what) const;
  Result Migrate();

  std::string uri_;
  PGconn* db_ = nullptr;
};

}  // namespace murmel::server
