// The catalogue on its own: its tables and the move from older versions, the rows that
// the held folder and sender confirmation rely on, start-up reconciling, and --list's
// table. The relay's verdicts on the rows: smtp_relay_test.cpp.
#include "server/catalogue.h"
#include "server/picture_registry.h"
#include "server/sqlite_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "scripted_client.h"
#include "support/private_postgres.h"
#include "support/temp_dir.h"

namespace server_test {
namespace {

using namespace murmel::server;
namespace fs = std::filesystem;

void Sql(const fs::path& file, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

CatalogueRow Row(const std::string& file, MessageState state,
                 const std::string& sender = "ann@example.org", std::time_t received = 1700000000) {
  return {.received = received,
          .sender = sender,
          .recipients = "bob@example.org",
          .subject = "Hello",
          .file = file,
          .size = 100,
          .state = state};
}

std::vector<std::string> FileNames(const std::vector<CatalogueRow>& rows) {
  std::vector<std::string> names(rows.size());
  std::transform(rows.begin(), rows.end(), names.begin(), [](const auto& row) { return row.file; });
  return names;
}

const CatalogueRow* RowFor(const std::vector<CatalogueRow>& rows, const std::string& file) {
  for (const CatalogueRow& row : rows) {
    if (row.file == file) return &row;
  }
  return nullptr;
}

// A row as --list shows it, without the id the store gave it, blanks collapsed.
std::string Describe(const CatalogueRow& row) {
  const std::string table = FormatRows({row});
  std::istringstream line(table.substr(table.find('\n') + 1));
  std::string word, text;
  line >> word;
  while (line >> word) text += (text.empty() ? "" : " ") + word;
  return text;
}

enum class Backend { Sqlite, Postgresql };

// A store of its own on either backend, beside a fresh state folder; Connect() opens a
// second connection, as --list and the relay thread do.
class CatalogueTest : public testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    location_.file = File();
    if (GetParam() == Backend::Postgresql) {
      murmel::test::PrivatePostgres* cluster = murmel::test::PrivatePostgres::Shared();
      if (cluster == nullptr) GTEST_SKIP() << murmel::test::PrivatePostgres::why();
      location_ = {StoreLocation::Kind::Postgresql, {}, cluster->FreshSchema()};
    }
    catalogue_ = MakeStore(location_);
    const Result opened = catalogue_->Open();
    ASSERT_TRUE(opened.ok) << opened.error;
  }

  fs::path File() const { return state_.path() / fs::path(kCatalogueFileName); }

  std::unique_ptr<Store> Connect() const {
    std::unique_ptr<Store> store = MakeStore(location_);
    const Result opened = store->Open(/*mustExist=*/true);
    EXPECT_TRUE(opened.ok) << opened.error;
    return store;
  }

  // Behind the store's back, as a broken or hostile database would be.
  void Sql(const std::string& sql) const {
    if (GetParam() == Backend::Sqlite) return server_test::Sql(File(), sql.c_str());
    const std::string psql = "psql -q -X '" + location_.uri + "' -c '" + sql + "' >/dev/null";
    ASSERT_EQ(std::system(psql.c_str()), 0) << psql;
  }

  // A file in the state folder, its folders made as needed.
  void Put(const std::string& path, const std::string& text) const {
    const fs::path file = state_ / path;
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
  }

  std::vector<CatalogueRow> Rows() const {
    Result result;
    auto rows = Connect()->Newest(100, result);
    EXPECT_TRUE(result.ok) << result.error;
    return rows;
  }

  murmel::test::TempDir state_;
  StoreLocation location_;
  std::unique_ptr<Store> catalogue_;
};

INSTANTIATE_TEST_SUITE_P(Backends, CatalogueTest,
                         testing::Values(Backend::Sqlite, Backend::Postgresql),
                         [](const testing::TestParamInfo<Backend>& info) {
                           return info.param == Backend::Sqlite ? "Sqlite" : "Postgresql";
                         });

// The layouts versions 1 and 2 created: version 2 added sender confirmations, the held
// folder, the client's address and the senders table.
std::string OldSchema(int version) {
  const auto since2 = [version](const char* text) { return version >= 2 ? text : ""; };
  return std::string(
             "CREATE TABLE messages (id INTEGER PRIMARY KEY, received INTEGER NOT NULL, kind TEXT "
             "NOT NULL CHECK (kind IN ('voice', 'picture-confirmation', 'picture-cleared'") +
         since2(", 'sender-confirmation'") +
         ")), sender TEXT NOT NULL, recipients TEXT NOT NULL, subject TEXT NOT NULL, file TEXT "
         "NOT NULL UNIQUE, size INTEGER NOT NULL, state TEXT NOT NULL CHECK (state IN ('new', "
         "'sent', 'failed'" +
         since2(", 'held', 'expired'") + ")), reason TEXT NOT NULL DEFAULT ''" +
         since2(", client_address TEXT NOT NULL DEFAULT ''") +
         "); CREATE INDEX messages_by_received ON messages (received, id);" +
         since2(
             "CREATE INDEX messages_held ON messages (received, id) WHERE state = 'held';"
             "CREATE TABLE senders (key TEXT PRIMARY KEY, verified_until INTEGER NOT NULL "
             "DEFAULT 0, token TEXT NOT NULL DEFAULT '', mailed_at INTEGER NOT NULL DEFAULT 0);"
             "CREATE UNIQUE INDEX senders_by_token ON senders (token) WHERE token <> '';") +
         "PRAGMA user_version = " + std::to_string(version) + ";";
}

TEST(Catalogue, MigratesOlderFilesKeepingTheirRows) {
  const std::string oldRow =
      "INSERT INTO messages (received, kind, sender, recipients, subject, file, size, state, "
      "reason) VALUES (1700000000, 'picture-cleared', 'murmelpost@localhost', "
      "'ann@example.org', 'Cleared', 'old', 42, 'failed', 'refused');";

  for (const int version : {1, 2}) {
    murmel::test::TempDir state;
    const fs::path file = state.path() / fs::path(kCatalogueFileName);
    Sql(file, (OldSchema(version) + oldRow).c_str());
    for (const int start : {1, 2}) {
      SCOPED_TRACE(std::to_string(version) + std::to_string(start));
      SqliteStore catalogue(file);
      const Result opened = catalogue.Open();
      ASSERT_TRUE(opened.ok) << opened.error;
      if (start == 1) {
        // What version 3 adds: the report kind and the recipients' records.
        CatalogueRow held = Row("held", MessageState::Held, "ann@example.org", 1700000100);
        held.kind = MessageKind::DeliveryReport;
        held.clientAddress = "192.0.2.7";
        ASSERT_TRUE(catalogue.Insert(held).ok);
        ASSERT_TRUE(catalogue.PutRecipient("held", {"bob@example.org", RecipientState::Sent}).ok);
        ASSERT_TRUE(
            catalogue.PutSender({"ann@example.org", 0, "0123456789abcdef0123456789abcdef", 5}).ok);
      }
      Result read;
      const auto rows = catalogue.Newest(10, read);
      ASSERT_TRUE(read.ok) << read.error;
      ASSERT_EQ(FileNames(rows), (std::vector<std::string>{"held", "old"}));
      EXPECT_EQ(rows[1].id, 1);
      EXPECT_EQ(Describe(rows[1]),
                "2023-11-14 22:13:20 picture-cleared failed: refused 42 "
                "murmelpost@localhost ann@example.org Cleared old");
      EXPECT_EQ(Describe(rows[0]),
                "2023-11-14 22:15:00 delivery-report held 1/1 100 ann@example.org "
                "192.0.2.7 bob@example.org Hello held");
      EXPECT_EQ(catalogue.HeldFrom("ann@example.org", read).size(), 1u);
      EXPECT_EQ(catalogue.Sender("ann@example.org", read).mailedAt, 5);
    }
  }
}

// A catalogue that cannot be used stops the server at start, not at the first message.
TEST(Catalogue, OpenRefusesWhatItCannotUse) {
  const std::tuple<const char*, std::function<void(const fs::path&)>, const char*> cases[] = {
      {"not a database",
       [](const fs::path& file) { std::ofstream(file) << std::string(8192, 'x'); },
       "not a database"},
      {"from a newer server", [](const fs::path& file) { Sql(file, "PRAGMA user_version = 9"); },
       "version 9"},
      {"a folder in its place", [](const fs::path& file) { fs::create_directories(file); },
       "cannot open"},
  };
  for (const auto& [name, spoil, says] : cases) {
    SCOPED_TRACE(name);
    murmel::test::TempDir state;
    const fs::path file = state.path() / fs::path(kCatalogueFileName);
    spoil(file);
    SqliteStore catalogue(file);
    const Result opened = catalogue.Open();
    EXPECT_FALSE(opened.ok);
    EXPECT_NE(opened.error.find(says), std::string::npos) << opened.error;
  }
  // --list on a state folder without a catalogue says so and leaves none behind.
  murmel::test::TempDir empty;
  SqliteStore missing(empty.path() / fs::path(kCatalogueFileName));
  EXPECT_FALSE(missing.Open(/*mustExist=*/true).ok);
  EXPECT_TRUE(fs::is_empty(empty.path()));
}

TEST_P(CatalogueTest, KeepsEachFilesRecipientsAndState) {
  const std::pair<std::string, std::string> stored[] = {
      {"two", "bob@example.org, carol@example.org"},
      {"none", ""},
      {"quoted", "\"x, y\"@example.org, dan@example.org"},
  };
  for (const auto& [file, recipients] : stored) {
    CatalogueRow row = Row(file, MessageState::New);
    row.recipients = recipients;
    ASSERT_TRUE(catalogue_->Insert(row).ok);
  }
  // A file that is already recorded is not recorded twice.
  EXPECT_FALSE(catalogue_->Insert(Row("two", MessageState::New)).ok);

  using List = std::vector<std::string>;
  const std::pair<std::string, std::optional<List>> expected[] = {
      {"two", List{"bob@example.org", "carol@example.org"}},
      {"none", List{}},
      {"quoted", List{"\"x, y\"@example.org", "dan@example.org"}},
      {"unknown", std::nullopt},
  };
  for (const auto& [file, recipients] : expected) {
    SCOPED_TRACE(file);
    Result read;
    EXPECT_EQ(catalogue_->Recipients(file, read), recipients);
    EXPECT_TRUE(read.ok) << read.error;
  }

  ASSERT_TRUE(catalogue_->SetState("two", MessageState::Sent, "250 queued").ok);
  ASSERT_TRUE(catalogue_->SetState("none", MessageState::Expired, "").ok);
  const Result unknown = catalogue_->SetState("unknown", MessageState::Sent, "");
  EXPECT_FALSE(unknown.ok);
  EXPECT_NE(unknown.error.find("no row for unknown"), std::string::npos) << unknown.error;
  const auto rows = Rows();
  EXPECT_EQ(RowFor(rows, "two")->state, MessageState::Sent);
  EXPECT_EQ(RowFor(rows, "two")->reason, "250 queued");
  EXPECT_EQ(RowFor(rows, "none")->state, MessageState::Expired);

  // Whatever keeps a row from being committed is reported with the catalogue's name.
  Sql("DROP TABLE messages");
  const Result lost = catalogue_->Insert(Row("lost", MessageState::New));
  EXPECT_FALSE(lost.ok);
  EXPECT_NE(lost.error.find(catalogue_->Describe()), std::string::npos) << lost.error;
}

TEST_P(CatalogueTest, FindsHeldRowsBySenderAndAgeOldestFirst) {
  const CatalogueRow rows[] = {
      Row("ann-late", MessageState::Held, "Ann@Example.ORG", 300),
      Row("ann-early", MessageState::Held, "ann@example.org", 100),
      Row("ann-sent", MessageState::Sent, "ann@example.org", 50),
      Row("bob", MessageState::Held, "bob@example.org", 200),
  };
  for (const CatalogueRow& row : rows) ASSERT_TRUE(catalogue_->Insert(row).ok);

  using Files = std::vector<std::string>;
  Result read;
  EXPECT_EQ(FileNames(catalogue_->HeldFrom("ann@example.org", read)),
            (Files{"ann-early", "ann-late"}));
  EXPECT_EQ(FileNames(catalogue_->HeldFrom("carol@example.org", read)), Files{});
  const std::pair<std::time_t, Files> before[] = {
      {100, {}},
      {101, {"ann-early"}},
      {1000, {"ann-early", "bob", "ann-late"}},
  };
  for (const auto& [time, files] : before) {
    SCOPED_TRACE(time);
    EXPECT_EQ(FileNames(catalogue_->HeldBefore(time, read)), files);
    EXPECT_TRUE(read.ok) << read.error;
  }
}

// Two connections stand for two servers: counts add up, each sees the other's totals
// once and then only what changed, and hours before the oldest wanted are forgotten.
TEST_P(CatalogueTest, SharesMessageCountsBetweenConnections) {
  using murmel::server::RateCount;
  using murmel::server::RateKind;
  const std::unique_ptr<Store> other = Connect();
  Result result;
  std::int64_t since = 0, otherSince = 0;
  auto totals = catalogue_->ShareRates({{RateKind::Sender, "ann@x.org", 10, 2},
                                        {RateKind::Sender, "ann@x.org", 10, 1},
                                        {RateKind::Address, "ann@x.org", 10, 1},
                                        {RateKind::Sender, "old@x.org", 8, 5}},
                                       9, since, result);
  ASSERT_TRUE(result.ok) << result.error;
  totals = other->ShareRates({{RateKind::Sender, "ann@x.org", 10, 4}}, 9, otherSince, result);
  ASSERT_TRUE(result.ok) << result.error;
  const auto has = [](const std::vector<RateCount>& counts, RateKind kind, std::int64_t count) {
    return std::any_of(counts.begin(), counts.end(), [&](const RateCount& c) {
      return c.kind == kind && c.key == "ann@x.org" && c.hour == 10 && c.count == count;
    });
  };
  EXPECT_EQ(totals.size(), 2u);
  EXPECT_TRUE(has(totals, RateKind::Sender, 7));
  EXPECT_TRUE(has(totals, RateKind::Address, 1));
  // Moved on: the stamp now lies before what the store's clock says, by the settling time.
  EXPECT_GT(otherSince, 0);
  totals = catalogue_->ShareRates({}, 11, since, result);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_TRUE(totals.empty());
}

// Two registries on one store stand for two servers: a picture registered on one is
// confirmed through the other and used by both; the files of a server from before the
// store come in once, their folder renamed.
TEST_P(CatalogueTest, PicturesLiveInTheStoreForEveryServer) {
  const std::string token = "0123456789abcdef0123456789abcdef";
  Put("pictures/old@x.org", "GIF8 confirmed");
  Put("pictures/pending/new@x.org",
      token + "\nNew@x.org\n" + std::to_string(std::time(nullptr)) + "\nGIF8 pending");
  PictureRegistry here(location_, state_ / "pictures"), there(location_, state_ / "none");
  ASSERT_TRUE(here.Open().ok);
  ASSERT_TRUE(there.Open().ok);
  EXPECT_FALSE(fs::exists(state_ / "pictures"));
  EXPECT_TRUE(fs::exists(state_ / "pictures.imported/old@x.org"));
  EXPECT_EQ(there.Active("OLD@x.org"), B("GIF8 confirmed"));
  const auto pending = there.Pending(token);
  ASSERT_TRUE(pending.has_value());
  EXPECT_EQ(pending->sender, "New@x.org");

  // Confirming once and clearing, on one server: picture_confirmation_test.cpp.
  const Bytes gif = {'G', 'I', 'F', '8', 0x00, 0xFF, 0x0A, 0x7F};
  std::string registered;
  ASSERT_TRUE(here.Register("Ann@x.org", gif, registered).ok);
  EXPECT_FALSE(there.Active("ann@x.org").has_value());
  const PictureConfirmation confirmed = there.Confirm(registered);
  EXPECT_TRUE(confirmed.found && confirmed.stored.ok) << confirmed.stored.error;
  EXPECT_EQ(confirmed.sender, "Ann@x.org");
  EXPECT_EQ(here.Active("ann@x.org"), gif);
}

// A crash between rename and commit, files from before the catalogue, and moves whose
// update was lost: each start-up catches up, and a second one finds nothing to do.
TEST_P(CatalogueTest, StartUpGivesStrayFilesARowExactlyOnce) {
  const char* files[][2] = {
      {"outbox/new/1700000000.M1P1Q1.old",
       "From: Cleo <cleo@example.org>\nTo: dan@example.org, Eve <eve@example.org>\n"
       "Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe?=\nDate: Tue, 14 Nov 2023 22:13:20 +0000\n\nHi\n"},
      {"held/new/1700000100.M2P1Q1.held",
       "From: Murmelpost <murmelpost@localhost>\nReply-To: Ann Lee <Ann@Example.org>\n"
       "To: bob@example.org\nSubject: Waiting\nX-Murmelpost-Kind: voice\n\nHi\n"},
      {"outbox/failed/1700000200.M3P1Q1.confirm",
       "From: Murmelpost <murmelpost@localhost>\nTo: ann@example.org\n"
       "Subject: Please confirm your address\nX-Murmelpost-Kind: sender-confirmation\n\nHi\n"},
      {"held/new/.hidden", "not mail"},
      {"outbox/sent/relayed", "To: bob@example.org\n\n"},
      {"outbox/new/released", "To: bob@example.org\n\n"},
      // A crash after the commit but before the rename, one while writing, and one while
      // composing the e-mail of an accepted message, which keeps its row to be composed again.
      {"outbox/tmp/staged", "To: bob@example.org\n\n"},
      {"held/tmp/partial", "To: bo"},
      {"outbox/tmp/composing", "To: bo"},
      {"accepted/new/composing", "uploads"},
  };
  for (const auto& [path, text] : files) Put(path, text);
  const std::pair<const char*, MessageState> rows[] = {{"relayed", MessageState::New},
                                                       {"released", MessageState::Held},
                                                       {"staged", MessageState::New},
                                                       {"composing", MessageState::New}};
  for (const auto& [file, state] : rows) ASSERT_TRUE(catalogue_->Insert(Row(file, state)).ok);
  const fs::path outbox = state_ / "outbox", held = state_ / "held", accepted = state_ / "accepted";

  for (const int start : {1, 2}) {
    SCOPED_TRACE(start);
    const ReconcileSummary summary = Connect()->Reconcile(outbox, held, accepted);
    ASSERT_TRUE(summary.result.ok) << summary.result.error;
    EXPECT_EQ(summary.added, start == 1 ? 3 : 0);
    EXPECT_EQ(summary.updated, start == 1 ? 2 : 0);
    EXPECT_EQ(summary.dropped, start == 1 ? 3 : 0);
  }
  EXPECT_TRUE(fs::is_empty(outbox / "tmp") && fs::is_empty(held / "tmp"));
  Result read;
  EXPECT_FALSE(catalogue_->Recipients("staged", read).has_value());
  EXPECT_TRUE(catalogue_->Recipients("composing", read).has_value());
  // Missing folders are nothing to reconcile.
  const ReconcileSummary none = catalogue_->Reconcile(held / "none", held / "none", held / "none");
  EXPECT_TRUE(none.result.ok && none.added == 0 && none.updated == 0);

  const auto found = Rows();
  ASSERT_EQ(found.size(), 6u);
  std::vector<std::string> described;
  for (const char* file :
       {"1700000000.M1P1Q1.old", "1700000100.M2P1Q1.held", "1700000200.M3P1Q1.confirm"}) {
    ASSERT_NE(RowFor(found, file), nullptr) << file;
    described.push_back(Describe(*RowFor(found, file)));
  }
  EXPECT_EQ(described,
            (std::vector<std::string>{
                "2023-11-14 22:13:20 voice new 152 cleo@example.org dan@example.org, "
                "eve@example.org Grüße 1700000000.M1P1Q1.old",
                "2023-11-14 22:15:00 voice held 142 Ann@Example.org bob@example.org "
                "Waiting 1700000100.M2P1Q1.held",
                "2023-11-14 22:16:40 sender-confirmation failed 140 murmelpost@localhost "
                "ann@example.org Please confirm your address 1700000200.M3P1Q1.confirm"}));
  EXPECT_EQ(RowFor(found, "relayed")->state, MessageState::Sent);
  EXPECT_EQ(RowFor(found, "released")->state, MessageState::New);
}

TEST_P(CatalogueTest, ListPrintsAnAlignedTableNewestFirst) {
  EXPECT_EQ(FormatRows({}), "No messages in the catalogue.\n");

  CatalogueRow voice = Row("a", MessageState::New, "ann@example.org", 1700000000);
  voice.clientAddress = "192.0.2.7";
  voice.subject = "Grüße";
  voice.size = 120;
  CatalogueRow confirm = Row("b", MessageState::Failed, "murmelpost@localhost", 1700003600);
  confirm.kind = MessageKind::SenderConfirmation;
  confirm.recipients = "ann@example.org";
  confirm.subject = "Please confirm";
  confirm.size = 4096;
  confirm.reason = "every recipient refused";
  for (const CatalogueRow& row : {voice, confirm}) ASSERT_TRUE(catalogue_->Insert(row).ok);

  Result read;
  EXPECT_EQ(FormatRows(catalogue_->Newest(20, read)),
            "ID  RECEIVED (UTC)       KIND                 STATE                            BYTES  "
            "FROM                  CLIENT     TO               SUBJECT         FILE\n"
            "2   2023-11-14 23:13:20  sender-confirmation  failed: every recipient refused  4096   "
            "murmelpost@localhost             ann@example.org  Please confirm  b\n"
            "1   2023-11-14 22:13:20  voice                new                              120    "
            "ann@example.org       192.0.2.7  bob@example.org  Grüße           a\n");
  EXPECT_TRUE(read.ok) << read.error;
}

// Nothing from a row reaches the terminal raw, and each row stays one line.
TEST(Catalogue, ListEscapesControlCharactersAndBrokenUtf8InEveryField) {
  const std::pair<std::string, std::string> cases[] = {
      {"\x1B[2J", "\\x1B[2J"},
      {"a\r\nb", "a\\x0D\\x0Ab"},
      {"\x7F", "\\x7F"},
      {"\xC2\x85", "\\u0085"},
      {"C:\\x1B", "C:\\\\x1B"},
      {"\xFF", "\\xFF"},
      {"\xE2\x82", "\\xE2\\x82"},
      {"\xC0\xAF", "\\xC0\\xAF"},
      {"\xED\xA0\x80", "\\xED\\xA0\\x80"},
      {"Grüße €😀\xC2\xA0!", "Grüße €😀\xC2\xA0!"},
  };
  std::vector<CatalogueRow> rows;
  for (const auto& [raw, shown] : cases) {
    CatalogueRow row = Row(raw, MessageState::Failed, raw);
    row.clientAddress = row.recipients = row.subject = row.reason = raw;
    rows.push_back(row);
  }
  const std::string table = FormatRows(rows);
  std::vector<std::string> lines;
  std::istringstream stream(table);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 1 + rows.size()) << table;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].second);
    EXPECT_NE(lines[i + 1].find(cases[i].second), std::string::npos) << lines[i + 1];
  }
  for (std::size_t i = 0; i < table.size(); ++i) {
    const auto byte = static_cast<unsigned char>(table[i]);
    const bool c1 = byte == 0xC2 && i + 1 < table.size() &&
                    static_cast<unsigned char>(table[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(table[i + 1]) <= 0x9F;
    EXPECT_TRUE((byte >= 0x20 || byte == '\n') && byte != 0x7F && byte != 0xFF && !c1)
        << "byte " << i << " of\n"
        << table;
  }
}

}  // namespace
}  // namespace server_test
