// "TROK" to "FINI" is a promise that the message will be delivered: it holds while many
// clients finish at once, across a kill -9, and when the spool cannot take an upload.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "scripted_client.h"
#include "server/catalogue.h"
#include "server/delivery.h"
#include "server/sqlite_store.h"

namespace murmel::server {
namespace {

namespace fs = std::filesystem;
using server_test::B;
using server_test::Bytes;
using server_test::Client;
using server_test::Join;

// One message with a voice of chunks frames; true once its "FINI" was answered "TROK".
bool SendMessage(std::uint16_t port, const std::string& subject, std::size_t chunks) {
  return server_test::Send(port, {.subject = subject,
                                  .type = kUploadVoice,
                                  .upload = Bytes(chunks * 1024, 0x5A)}) == "TROK";
}

std::set<std::string> Subjects(const std::vector<CatalogueRow>& rows) {
  std::set<std::string> subjects;
  for (const CatalogueRow& row : rows) subjects.insert(row.subject);
  return subjects;
}

// Once composed, the outbox and the catalogue tell the same story: a row for each file in
// new/, a file for each row, nothing left in tmp/.
void ExpectOutboxMatchesCatalogue(const Delivery& delivery, const std::set<std::string>& answered) {
  ASSERT_TRUE(server_test::AllComposed(delivery));
  const fs::path state = delivery.outboxRoot().parent_path();
  const std::vector<CatalogueRow> rows = server_test::Rows(state);
  std::set<std::string> files;
  for (const auto& entry : fs::directory_iterator(state / "outbox" / "new"))
    files.insert(entry.path().filename().string());
  std::set<std::string> rowFiles;
  for (const CatalogueRow& row : rows) rowFiles.insert(row.file);
  EXPECT_EQ(files, rowFiles);
  EXPECT_TRUE(fs::is_empty(state / "outbox" / "tmp"));
  const std::set<std::string> stored = Subjects(rows);
  for (const std::string& subject : answered) EXPECT_TRUE(stored.count(subject)) << subject;
}

TEST(DurableAcceptance, AnotherWriterHoldingTheCatalogueStallsOnlyTheFini) {
  server_test::TestServer server;
  ASSERT_TRUE(server.ready());
  SqliteStore other(server.state() / kCatalogueFileName);
  ASSERT_TRUE(other.Open().ok && other.Begin().ok);
  Client client(server.port());
  // Greeting, envelope and upload are all answered while the lock is held.
  ASSERT_TRUE(server_test::Greet(client));
  ASSERT_TRUE(server_test::Envelope(client, "\"Ann\" <ann@example.org>", "bob@example.org", "x"));
  ASSERT_TRUE(server_test::Upload(client, kUploadVoice, Bytes(3000, 0x5A)));
  std::string fini;
  std::thread finishing([&] { fini = client.Exchange("FINI"); });
  Client second(server.port());
  EXPECT_TRUE(server_test::Greet(second));  // while the first FINI waits for the lock
  ASSERT_TRUE(other.Commit().ok);
  finishing.join();
  EXPECT_EQ(fini, "TROK");
}

TEST(DurableAcceptance, KillDuringConcurrentUploadsKeepsEveryAnsweredMessageAndNoPart) {
  murmel::test::TempDir state;
  server_test::ServerProcess child(
      "--nofile=1024:1024",
      {"--no-sender-verification", "--max-sessions-per-ip", "200", "--max-messages-per-ip",
       "100000", "--max-messages-per-sender", "100000"},
      state.path());
  ASSERT_TRUE(child.Serving());
  std::mutex mutex;
  std::set<std::string> answered;
  std::vector<std::thread> clients;
  clients.reserve(100);
  for (int i = 0; i < 100; ++i) {
    clients.emplace_back([&, i] {
      for (int n = 0; n < 1000; ++n) {
        const std::string subject = "crash " + std::to_string(i) + "-" + std::to_string(n);
        if (!SendMessage(child.port(), subject, 8)) return;
        const std::lock_guard lock(mutex);
        answered.insert(subject);
      }
    });
  }
  const bool busy = server_test::Eventually([&] {
    const std::lock_guard lock(mutex);
    return answered.size() >= 100;
  });
  child.Stop(SIGKILL);
  for (std::thread& client : clients) client.join();
  ASSERT_TRUE(busy);

  // The next start-up: what was half done goes, what was answered stays.
  Delivery restarted(state.path());
  ASSERT_TRUE(restarted.Open().ok);
  ASSERT_TRUE(restarted.Reconcile().result.ok);
  ExpectOutboxMatchesCatalogue(restarted, answered);
}

TEST(DurableAcceptance, UploadThatCannotBeSpooledIsRefusedAndTheServerGoesOn) {
  server_test::TestServer server;
  ASSERT_TRUE(server.ready());
  fs::remove_all(server.delivery().spoolFolder());
  {
    Client client(server.port());
    ASSERT_TRUE(server_test::Greet(client));
    ASSERT_TRUE(server_test::Envelope(client, "\"Ann\" <ann@example.org>", "bob@example.org", "x"));
    // What fits in memory needs no file; the first byte beyond it does.
    const std::size_t kept = SpoolFile::kKeptInMemory;
    EXPECT_EQ(client.Exchange("FLSZ" + std::to_string(kept + 1)), "TROK");
    EXPECT_EQ(client.Exchange("FLTP0"), "TROK");
    for (std::size_t at = 0; at < kept; at += 1024) {
      EXPECT_EQ(client.Exchange(Join(B(at == 0 ? "FLBG" : "FLCN"), Bytes(1024, 0x5A))), "TROK");
    }
    EXPECT_EQ(client.Exchange(B("FLCN!")), "NOOK");
  }
  fs::create_directories(server.delivery().spoolFolder());
  EXPECT_TRUE(SendMessage(server.port(), "after", 1));
}

}  // namespace
}  // namespace murmel::server
