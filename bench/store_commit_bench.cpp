// What one durable commit of the store costs on each backend: a transaction with one
// message's row, as the committing thread writes for a lone client, and one with 32 rows,
// as it writes for a busy server's batch. The PostgreSQL cluster is a private one on this
// machine (fsync on, synchronous_commit on), so its number is the floor without a network.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "server/store.h"
#include "support/private_postgres.h"
#include "support/temp_dir.h"

namespace {

using namespace murmel::server;

void BM_Commit(benchmark::State& state) {
  const bool postgres = state.range(0) != 0;
  const auto rows = static_cast<int>(state.range(1));
  murmel::test::TempDir folder;
  StoreLocation location{
      StoreLocation::Kind::Sqlite, std::filesystem::path(folder.path()) / "catalogue.sqlite3", {}};
  if (postgres) {
    murmel::test::PrivatePostgres* cluster = murmel::test::PrivatePostgres::Shared();
    if (cluster == nullptr) {
      state.SkipWithError(murmel::test::PrivatePostgres::why().c_str());
      return;
    }
    location = {StoreLocation::Kind::Postgresql, {}, cluster->FreshSchema()};
  }
  const std::unique_ptr<Store> store = MakeStore(location);
  if (const Result opened = store->Open(); !opened.ok) {
    state.SkipWithError(opened.error.c_str());
    return;
  }
  CatalogueRow row;
  row.sender = "ann@example.org";
  row.recipients = "bob@example.org";
  row.subject = "bench";
  row.size = 1200;
  std::int64_t next = 0;
  for (auto _ : state) {
    Result result = store->Begin();
    for (int i = 0; result.ok && i < rows; ++i) {
      row.file = "bench." + std::to_string(++next);
      result = store->Insert(row);
    }
    if (result.ok) result = store->Commit();
    if (!result.ok) {
      state.SkipWithError(result.error.c_str());
      return;
    }
  }
  state.SetItemsProcessed(state.iterations() * rows);
  state.SetLabel(postgres ? "postgresql" : "sqlite");
}
BENCHMARK(BM_Commit)
    ->ArgsProduct({{0, 1}, {1, 32}})
    ->ArgNames({"postgres", "rows"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
