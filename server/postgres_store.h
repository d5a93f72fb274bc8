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

  IoResult Open(bool mustExist = false) override;
  std::string Describe() const override { return RedactedLocation(uri_); }
  IoResult Insert(const CatalogueRow& row) override;
  IoResult Remove(const std::string& file) override;
  IoResult Begin() override;
  IoResult Commit() override;
  void Rollback() override;
  IoResult SetState(const std::string& file, MessageState state,
                    const std::string& reason) override;
  std::vector<CatalogueRow> Newest(int count, IoResult& result) override;
  std::optional<std::vector<std::string>> Recipients(const std::string& file,
                                                     IoResult& result) override;
  std::optional<CatalogueRow> Find(const std::string& file, IoResult& result) override;
  std::vector<RecipientRecord> RecipientRecords(const CatalogueRow& row, IoResult& result) override;
  IoResult PutRecipient(const std::string& file, const RecipientRecord& record) override;
  IoResult RetryFailed(const std::string& file) override;
  std::vector<CatalogueRow> HeldFrom(const std::string& senderKey, IoResult& result) override;
  std::vector<CatalogueRow> HeldBefore(std::time_t before, IoResult& result) override;
  SenderRecord Sender(const std::string& key, IoResult& result) override;
  std::optional<SenderRecord> SenderByToken(const std::string& token, IoResult& result) override;
  IoResult PutSender(const SenderRecord& record) override;
  std::optional<PictureRecord> Picture(const std::string& key, bool pending,
                                       IoResult& result) override;
  std::optional<PictureRecord> PictureByToken(const std::string& token, IoResult& result) override;
  IoResult PutPicture(const PictureRecord& picture) override;
  IoResult RemovePicture(const std::string& key, bool pending) override;
  std::vector<RateCount> ShareRates(std::vector<RateCount> added, std::int64_t fromHour,
                                    std::int64_t& since, IoResult& result) override;

 private:
  struct ResultDeleter {
    void operator()(PGresult* result) const { PQclear(result); }
  };
  using Result = std::unique_ptr<PGresult, ResultDeleter>;

  // Runs sql with text parameters; on failure result says what with the server's reason.
  Result Run(const char* sql, const std::vector<std::string>& parameters, const std::string& what,
             IoResult& result);
  IoResult Exec(const char* sql, const std::vector<std::string>& parameters,
                const std::string& what);
  std::vector<CatalogueRow> Rows(const char* sql, const std::vector<std::string>& parameters,
                                 IoResult& result);
  // The rows whose pending token this is; nullptr when none (or no token).
  Result ByToken(const char* columns, const std::string& token, const std::string& what,
                 IoResult& result);
  IoResult Fail(const std::string& what) const;
  IoResult Migrate();

  std::string uri_;
  PGconn* db_ = nullptr;
};

}  // namespace murmel::server
