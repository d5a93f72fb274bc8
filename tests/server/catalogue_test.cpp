// The catalogue over a real state folder: a row for every accepted e-mail and none for a
// refused one, rows for files left without one, the relay's verdicts, and --list's table.
#include "server/catalogue.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <thread>

#include "fake_smtp.h"
#include "server/delivery.h"
#include "server/mail_compose.h"
#include "server/smtp_relay.h"
#include "support/temp_dir.h"

namespace server_test {
namespace {

using namespace murmel::server;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::vector<std::string> Files(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error))
    names.push_back(entry.path().filename().string());
  return names;
}

Message VoiceMessage(const std::string& recipients, const std::string& subject) {
  Message message;
  message.sender = "\"Ann Lee\" <ann@example.org>";
  message.recipients = recipients;
  message.subject = subject;
  const std::string text = "See you at eight.\n";
  message.uploads.push_back({kUploadText, "", {text.begin(), text.end()}});
  return message;
}

// What --list would read: a second connection, as the operator's process has.
std::vector<CatalogueRow> Rows(const fs::path& state) {
  Catalogue reader(state / kCatalogueFileName);
  IoResult result = reader.Open(/*mustExist=*/true);
  EXPECT_TRUE(result.ok) << result.error;
  auto rows = reader.Newest(100, result);
  EXPECT_TRUE(result.ok) << result.error;
  return rows;
}

const CatalogueRow* RowFor(const std::vector<CatalogueRow>& rows, const std::string& file) {
  for (const CatalogueRow& row : rows) {
    if (row.file == file) return &row;
  }
  return nullptr;
}

void Sql(const fs::path& state, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((state / kCatalogueFileName).c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

TEST(Catalogue, AcceptedMessagesHaveARowWithTheirMailsFields) {
  testing_support::TempDir state;
  Delivery delivery(state.path());
  ASSERT_TRUE(delivery.Open().ok);
  const auto voice = delivery.Accept(VoiceMessage("bob@example.org; carol@example.org", "Tea"));
  ASSERT_TRUE(voice.ok) << voice.detail;
  Message clear;
  clear.sender = "ann@example.org";
  clear.uploads.push_back({kUploadPicture, "", {}});
  const auto cleared = delivery.Accept(clear);
  ASSERT_TRUE(cleared.ok) << cleared.detail;

  const auto rows = Rows(state.path());
  ASSERT_EQ(rows.size(), 2u);
  const CatalogueRow* row = RowFor(rows, fs::path(voice.detail).filename());
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->kind, MessageKind::Voice);
  EXPECT_EQ(row->sender, "ann@example.org");
  EXPECT_EQ(row->recipients, "bob@example.org, carol@example.org");
  EXPECT_EQ(row->subject, "Tea");
  EXPECT_EQ(row->size, static_cast<std::int64_t>(fs::file_size(voice.detail)));
  EXPECT_EQ(row->state, MessageState::New);
  EXPECT_GT(row->received, 0);
  row = RowFor(rows, fs::path(cleared.detail).filename());
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->kind, MessageKind::PictureCleared);
  EXPECT_EQ(row->sender, kServerAddress);
  EXPECT_EQ(row->recipients, "ann@example.org");
}

// Whatever keeps the row from being committed, the client hears a failure and the relay
// finds nothing to send: the message is wholly refused, never half accepted.
TEST(Catalogue, MessageIsRefusedAndItsFileRemovedWhenItsRowCannotBeCommitted) {
  testing_support::TempDir state;
  Delivery delivery(state.path());
  ASSERT_TRUE(delivery.Open().ok);
  Sql(state.path(), "DROP TABLE messages");
  const auto refused = delivery.Accept(VoiceMessage("bob@example.org", "Lost?"));
  EXPECT_FALSE(refused.ok);
  EXPECT_NE(refused.detail.find(kCatalogueFileName), std::string::npos) << refused.detail;
  EXPECT_TRUE(Files(delivery.outboxRoot() / "new").empty());
  EXPECT_TRUE(Files(delivery.outboxRoot() / "tmp").empty());

  // A catalogue that cannot be opened stops the server at start, not at the first message.
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> spoil;
    const char* says;
  };
  const Case cases[] = {
      {"not a database",
       [](const fs::path& dir) {
         std::ofstream(dir / kCatalogueFileName) << std::string(8192, 'x');
       },
       "not a database"},
      {"from a newer server", [](const fs::path& dir) { Sql(dir, "PRAGMA user_version = 9"); },
       "version 9"},
      {"a folder in its place",
       [](const fs::path& dir) { fs::create_directories(dir / kCatalogueFileName); },
       "cannot open"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing_support::TempDir dir;
    c.spoil(dir.path());
    Delivery spoilt(dir.path());
    const IoResult opened = spoilt.Open();
    EXPECT_FALSE(opened.ok);
    EXPECT_NE(opened.error.find(c.says), std::string::npos) << opened.error;
  }
  // --list on a state folder without a catalogue says so and leaves none behind.
  testing_support::TempDir empty;
  Catalogue missing(fs::path(empty.path()) / kCatalogueFileName);
  EXPECT_FALSE(missing.Open(/*mustExist=*/true).ok);
  EXPECT_TRUE(Files(empty.path()).empty());
}

// A crash between rename and commit, files from before the catalogue, and a relay move
// whose update was lost: each start-up catches up, and a second one finds nothing to do.
TEST(Catalogue, StartUpGivesStrayOutboxFilesARowExactlyOnce) {
  testing_support::TempDir state;
  const fs::path outbox = fs::path(state.path()) / "outbox";
  std::string tracked;
  {
    Delivery delivery(state.path());
    ASSERT_TRUE(delivery.Open().ok);
    const auto accepted = delivery.Accept(VoiceMessage("bob@example.org", "Moved"));
    ASSERT_TRUE(accepted.ok) << accepted.detail;
    tracked = fs::path(accepted.detail).filename();
  }
  fs::create_directories(outbox / "sent");
  fs::create_directories(outbox / "failed");
  fs::rename(outbox / "new" / tracked, outbox / "sent" / tracked);
  MailContent voice;
  voice.from = {"Cleo", "cleo@example.org"};
  voice.to = {"dan@example.org", "eve@example.org"};
  voice.subject = "Grüße";
  voice.text = "Hi\n";
  voice.date = 1700000000;
  voice.messageId = "1@test";
  MailContent picture = voice;
  picture.from = {"Murmelpost", kServerAddress};
  picture.to = {"cleo@example.org"};
  picture.subject = "Please confirm your custom message picture";
  std::ofstream(outbox / "new" / "1700000000.M1P1Q1.old") << ComposeMail(voice);
  std::ofstream(outbox / "failed" / "1700000001.M1P1Q2.old") << ComposeMail(picture);
  std::ofstream(outbox / "new" / ".hidden") << "not mail";

  for (const int start : {1, 2}) {
    SCOPED_TRACE(start);
    Delivery delivery(state.path());
    ASSERT_TRUE(delivery.Open().ok);
    const ReconcileSummary summary = delivery.Reconcile();
    ASSERT_TRUE(summary.result.ok) << summary.result.error;
    EXPECT_EQ(summary.added, start == 1 ? 2 : 0);
    EXPECT_EQ(summary.updated, start == 1 ? 1 : 0);
  }
  const auto rows = Rows(state.path());
  ASSERT_EQ(rows.size(), 3u);
  ASSERT_NE(RowFor(rows, tracked), nullptr);
  EXPECT_EQ(RowFor(rows, tracked)->state, MessageState::Sent);
  const CatalogueRow* old = RowFor(rows, "1700000000.M1P1Q1.old");
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(old->kind, MessageKind::Voice);
  EXPECT_EQ(old->sender, "cleo@example.org");
  EXPECT_EQ(old->recipients, "dan@example.org, eve@example.org");
  EXPECT_EQ(old->subject, "Grüße");
  EXPECT_EQ(old->received, 1700000000);
  EXPECT_EQ(old->state, MessageState::New);
  const CatalogueRow* confirmation = RowFor(rows, "1700000001.M1P1Q2.old");
  ASSERT_NE(confirmation, nullptr);
  EXPECT_EQ(confirmation->kind, MessageKind::PictureConfirmation);
  EXPECT_EQ(confirmation->state, MessageState::Failed);
}

// The relay against a scripted SMTP relay, its verdicts recorded as murmelpost-server does.
TEST(Catalogue, RelayRecordsSentAndFailedOnTheRow) {
  FakeSmtp smtp;
  ASSERT_TRUE(smtp.ready());
  FakeSmtp::Script refuseGone;
  refuseGone.recipient["gone@example.org"] = "550 5.1.1 no such user";
  smtp.Queue(refuseGone);
  smtp.Queue(refuseGone);
  testing_support::TempDir state;
  Delivery delivery(state.path());
  ASSERT_TRUE(delivery.Open().ok);
  const auto kept = delivery.Accept(VoiceMessage("bob@example.org", "Kept"));
  const auto lost = delivery.Accept(VoiceMessage("gone@example.org", "Lost"));
  ASSERT_TRUE(kept.ok && lost.ok);

  Catalogue relayCatalogue(fs::path(state.path()) / kCatalogueFileName);
  ASSERT_TRUE(relayCatalogue.Open().ok);
  SmtpRelayOptions options;
  options.url = smtp.url();
  options.envelopeFrom = kServerAddress;
  RelaySchedule schedule;
  schedule.rescan = 50ms;
  SmtpRelay relay(delivery.outboxRoot(), options, schedule, [](const std::string&) {});
  relay.OnMoved([&](const std::string& name, bool sent, const std::string& reason) {
    EXPECT_TRUE(
        relayCatalogue.SetState(name, sent ? MessageState::Sent : MessageState::Failed, reason).ok);
  });
  ASSERT_TRUE(relay.Start().ok);
  std::vector<CatalogueRow> rows;
  for (int i = 0; i < 2000; ++i) {
    rows = Rows(state.path());
    if (rows.size() == 2 && rows[0].state != MessageState::New &&
        rows[1].state != MessageState::New) {
      break;
    }
    std::this_thread::sleep_for(10ms);
  }
  relay.Stop();
  const CatalogueRow* sent = RowFor(rows, fs::path(kept.detail).filename());
  const CatalogueRow* failed = RowFor(rows, fs::path(lost.detail).filename());
  ASSERT_TRUE(sent && failed);
  EXPECT_EQ(sent->state, MessageState::Sent);
  EXPECT_EQ(failed->state, MessageState::Failed);
  EXPECT_NE(failed->reason.find("550 5.1.1"), std::string::npos) << failed->reason;
}

TEST(Catalogue, ListPrintsAnAlignedTableNewestFirst) {
  EXPECT_EQ(FormatRows({}), "No messages in the catalogue.\n");

  testing_support::TempDir state;
  Catalogue catalogue(fs::path(state.path()) / kCatalogueFileName);
  ASSERT_TRUE(catalogue.Open().ok);
  CatalogueRow first{0,
                     1700000000,
                     MessageKind::Voice,
                     "ann@example.org",
                     "bob@example.org",
                     "Grüße",
                     "a",
                     120,
                     MessageState::New,
                     ""};
  CatalogueRow second{0,
                      1700003600,
                      MessageKind::PictureConfirmation,
                      "murmelpost@localhost",
                      "ann@example.org",
                      "Please confirm",
                      "b",
                      4096,
                      MessageState::Failed,
                      "every recipient refused"};
  ASSERT_TRUE(catalogue.Insert(first).ok);
  ASSERT_TRUE(catalogue.Insert(second).ok);
  // A file that is already recorded is not recorded twice.
  EXPECT_FALSE(catalogue.Insert(first).ok);
  IoResult read;
  const std::string table = FormatRows(catalogue.Newest(20, read));
  ASSERT_TRUE(read.ok) << read.error;
  EXPECT_EQ(
      table,
      "ID  RECEIVED (UTC)       KIND                  STATE                            BYTES  "
      "FROM                  TO               SUBJECT         FILE\n"
      "2   2023-11-14 23:13:20  picture-confirmation  failed: every recipient refused  4096   "
      "murmelpost@localhost  ann@example.org  Please confirm  b\n"
      "1   2023-11-14 22:13:20  voice                 new                              120    "
      "ann@example.org       bob@example.org  Grüße           a\n");
  EXPECT_EQ(catalogue.Newest(1, read).size(), 1u);
}

}  // namespace
}  // namespace server_test
