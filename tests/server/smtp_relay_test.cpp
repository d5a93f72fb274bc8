// The relay thread against a scripted SMTP relay on loopback: what arrives, byte for byte
// and to whom, where each file and its row end up after temporary and permanent refusals,
// and the report its sender gets about recipients that never got it.
#include "server/smtp_relay.h"
#include "server/sqlite_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <map>

#include "fake_smtp.h"
#include "mail_support.h"
#include "support/temp_dir.h"

namespace server_test {
namespace {

using namespace std::chrono_literals;
using murmel::server::StateName;
namespace fs = std::filesystem;

// Leading dots (stuffed on the wire), a lone "." line (the end marker unless stuffed), a
// line that already ends in CRLF, and recipients in a group and twice.
constexpr char kMail[] =
    "From: \"Ann Lee\" <ann@example.org>\n"
    "To: bob@example.org, Team: carol@example.org, dave@example.org;\n"
    "Cc: \"Bob again\" <bob@example.org>, eve@example.org\n"
    "Subject: dots\n"
    "Message-ID: <1@test>\n"
    "\n"
    ".leading dot\n"
    "..two dots\n"
    ".\n"
    "already CRLF\r\n"
    "last line\n";
const std::vector<std::string> kRecipients = {"bob@example.org", "carol@example.org",
                                              "dave@example.org", "eve@example.org"};

// What a relay receives: every line ends in CRLF, dot-stuffing undone.
std::string OnTheWire(std::string mail) {
  for (std::size_t at = 0; (at = mail.find('\n', at)) != std::string::npos; at += 2) {
    if (at == 0 || mail[at - 1] != '\r') mail.insert(at, "\r");
  }
  return mail;
}

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const fs::path& file : Files(folder)) names.push_back(file.filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A state folder with a message waiting in outbox/new/, and the row its acceptance would
// have made: To and Cc are the envelope.
void Put(const fs::path& state, const std::string& name, const std::string& mail) {
  fs::create_directories(state / "outbox" / "new");
  std::ofstream(state / "outbox" / "new" / name, std::ios::binary) << mail;
  murmel::server::SqliteStore records(state / murmel::server::kCatalogueFileName);
  murmel::server::CatalogueRow row = murmel::server::RowFromMail(mail);
  row.file = name;
  row.received = std::time(nullptr);
  EXPECT_TRUE(records.Open().ok && records.Insert(row).ok);
}

bool Holds(const fs::path& state, const char* folder, const std::string& name) {
  return fs::exists(state / "outbox" / folder / name);
}

// The server over state, relaying to url; reports only where a test asks for them.
TestServerSetup Relaying(const std::string& url, const murmel::test::TempDir& state) {
  return {.state = state.path(), .smtpRelay = url, .reports = false};
}

// A message from Ann to Bob and Carol over the transfer port; the file of its e-mail.
std::string Submit(TestServer& server, const std::string& text) {
  const Mail mail = {.recipients = "bob@example.org,carol@example.org", .upload = B(text)};
  EXPECT_EQ(Send(server.port(), mail), "TROK");
  return Rows(server.state())[0].file;
}

bool Logged(TestServer& server, const std::string& part) {
  bool found = false;
  for (const std::string& line : server.Log()) {
    EXPECT_EQ(line.find('\n'), std::string::npos) << "one line each: " << line;
    found = found || line.find(part) != std::string::npos;
  }
  return found;
}

// The copies each recipient really got: the RCPTs taken in transactions handed over.
std::map<std::string, int> Copies(const std::vector<FakeSmtp::Session>& sessions) {
  std::map<std::string, int> copies;
  for (const auto& session : sessions) {
    if (!session.body || !session.endReply.starts_with("250")) continue;
    for (const auto& address : session.accepted) ++copies[address];
  }
  return copies;
}

// With rescans an hour apart, the wake-up from an accepted message alone must get it out.
TEST(SmtpRelay, WaitingAndNewlyAcceptedMessagesArriveByteIntactForEveryRecipient) {
  FakeSmtp smtp;
  ASSERT_TRUE(smtp.ready());
  murmel::test::TempDir state;
  Put(state.path(), "1700000000.M1P1Q1.host", kMail);
  TestServerSetup setup = Relaying(smtp.url(), state);
  setup.relay = {
      .user = "murmel", .password = "s3cret pass", .envelopeFrom = "bounces@example.net"};
  setup.schedule.rescan = 1h;
  TestServer server(setup);
  ASSERT_TRUE(server.ready());
  ASSERT_TRUE(Eventually([&] { return smtp.Sessions().size() == 1; }));
  const fs::path sent = server.outbox() / "sent" / Submit(server, "First line\n.\n.dotted\nend\n");
  ASSERT_TRUE(Eventually([&] { return fs::exists(sent) && smtp.Sessions().size() == 2; }));
  EXPECT_TRUE(Names(server.outbox() / "new").empty());
  EXPECT_EQ(ReadFile(server.outbox() / "sent" / "1700000000.M1P1Q1.host"), kMail);
  const std::string composed = ReadFile(sent);
  ASSERT_EQ(composed.find('\r'), std::string::npos);  // the composer writes LF only
  const auto sessions = smtp.Sessions();
  const std::pair<std::vector<std::string>, std::string> expected[] = {
      {kRecipients, OnTheWire(kMail)},
      {{"bob@example.org", "carol@example.org"}, OnTheWire(composed)}};
  for (std::size_t i = 0; i < 2; ++i) {
    auto recipients = sessions[i].recipients;
    std::sort(recipients.begin(), recipients.end());
    EXPECT_EQ(recipients, expected[i].first);
    EXPECT_EQ(sessions[i].body, expected[i].second);
    EXPECT_EQ(sessions[i].from, "bounces@example.net");
    EXPECT_EQ(sessions[i].login, std::string("\0murmel\0s3cret pass", 19));
    EXPECT_TRUE(sessions[i].endReply.starts_with("250"));
  }
}

// Each script refuses once for the time being; the next connection takes everything.
TEST(SmtpRelay, TemporaryRefusalsAreRetriedAndEachRecipientGetsOneCopy) {
  FakeSmtp::Script busy, sender, oneRecipient, body;
  busy.greeting = "421 4.3.2 too busy";
  sender.mail = "451 4.3.0 try later";
  oneRecipient.recipient["carol@example.org"] = "451 4.2.1 mailbox busy";
  body.end = "451 4.3.0 queue full";
  for (const FakeSmtp::Script& first : {busy, sender, oneRecipient, body}) {
    SCOPED_TRACE(first.greeting + first.mail + first.end);
    FakeSmtp smtp;
    ASSERT_TRUE(smtp.ready());
    smtp.Queue(first);
    murmel::test::TempDir state;
    Put(state.path(), "m", kMail);
    TestServer server(Relaying(smtp.url(), state));
    ASSERT_TRUE(Eventually(
        [&] { return Holds(state.path(), "sent", "m") && !Copies(smtp.Sessions()).empty(); }));
    const auto sessions = smtp.Sessions();
    ASSERT_GE(sessions.size(), 2u);
    std::map<std::string, int> once;
    for (const std::string& address : kRecipients) once[address] = 1;
    EXPECT_EQ(Copies(sessions), once);
    // The others have it at once; the one deferred is tried again alone.
    if (first.recipient.size() == 1) {
      EXPECT_EQ(sessions.back().recipients, std::vector<std::string>{"carol@example.org"});
    }
  }
}

TEST(SmtpRelay, PermanentRefusalsEndInFailedWithTheReasonLoggedAndOnTheRow) {
  FakeSmtp::Script everyone, sender, body, one, mixed;
  for (const auto& address : kRecipients) everyone.recipient[address] = "550 5.1.1 no such user";
  sender.mail = "553 5.1.8 bad sender domain";
  body.end = "554 5.6.0 content rejected";
  one.recipient["dave@example.org"] = "550 5.1.1 dave left";
  mixed = everyone;
  mixed.recipient["eve@example.org"] = "452 4.2.2 mailbox full";
  // Name, script, where the file ends (named as its row's state), what is logged.
  const std::tuple<const char*, FakeSmtp::Script, const char*, const char*> cases[] = {
      {"every recipient", everyone, "failed", "m moved to failed/: 550 5.1.1 no such user"},
      {"sender", sender, "failed", "m moved to failed/: sender refused: 553 5.1.8"},
      {"body", body, "failed", "m moved to failed/: message refused: 554 5.6.0"},
      // The others still get it; the refused one is named.
      {"one recipient", one, "sent", "refused dave@example.org: 550 5.1.1 dave left"},
      // One of them may work later: not given up.
      {"refused and deferred", mixed, "new", "m: deferred for eve@example.org"},
  };
  for (const auto& [name, script, folder, logged] : cases) {
    SCOPED_TRACE(name);
    FakeSmtp smtp;
    ASSERT_TRUE(smtp.ready());
    smtp.Queue(script);
    smtp.Queue(script);
    murmel::test::TempDir state;
    Put(state.path(), "m", kMail);
    TestServer server(Relaying(smtp.url(), state));
    // Structured bindings are named into the lambda: clang refuses capturing them.
    ASSERT_TRUE(Eventually([&, logged = logged, folder = folder] {
      const auto rows = Rows(state.path());
      return Logged(server, logged) && Holds(state.path(), folder, "m") && rows.size() == 1 &&
             StateName(rows[0].state) == std::string(folder);
    })) << testing::PrintToString(server.Log());
  }
}

// One message waiting in new/ for a relay that takes everything unless told otherwise.
class SmtpRelayWithOneMessage : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(smtp.ready());
    Put(state.path(), "m", kMail);
  }
  bool Holds(const char* folder) const { return server_test::Holds(state.path(), folder, "m"); }

  FakeSmtp smtp;
  murmel::test::TempDir state;
  TestServerSetup setup = Relaying(smtp.url(), state);
};

// Curl is told to wait minutes for a reply; Stop must not.
TEST_F(SmtpRelayWithOneMessage, StopReturnsWhileTheRelayIsSilentAndKeepsTheMessage) {
  FakeSmtp::Script silent;
  silent.silent = true;
  smtp.Queue(silent);
  setup.schedule.timeouts.connect = setup.schedule.timeouts.reply = 300s;
  TestServer server(setup);
  ASSERT_TRUE(Eventually([&] { return smtp.connections() == 1; }));
  server.relay().Stop();
  EXPECT_TRUE(Holds("new"));
  EXPECT_TRUE(Names(server.outbox() / "sent").empty());
}

// An operator moves a file back into new/ to have it tried again: only the recipients it
// failed get it, the others do not get a second copy.
TEST_F(SmtpRelayWithOneMessage, FileMovedBackIsRetriedForItsFailedRecipientsAlone) {
  FakeSmtp::Script refuseDave;
  refuseDave.recipient["dave@example.org"] = "550 5.1.1 dave left";
  smtp.Queue(refuseDave);
  TestServer server(setup);
  ASSERT_TRUE(Eventually([&] { return Holds("sent"); }));
  fs::rename(server.outbox() / "sent" / "m", server.outbox() / "new" / "m");
  server.relay().Wake();
  ASSERT_TRUE(Eventually([&] { return Holds("sent") && smtp.Sessions().size() == 2; }));
  EXPECT_EQ(smtp.Sessions().back().recipients, std::vector<std::string>{"dave@example.org"});
  EXPECT_EQ(Copies(smtp.Sessions()).at("dave@example.org"), 1);
}

// A relay that does not offer STARTTLS must not get the message in the clear.
TEST_F(SmtpRelayWithOneMessage, RequiredStartTlsSendsNothingToARelayWithoutIt) {
  setup.relay.requireStartTls = true;
  TestServer server(setup);
  ASSERT_TRUE(Eventually([&] { return smtp.Sessions().size() >= 2; }));
  for (const auto& session : smtp.Sessions()) EXPECT_TRUE(session.from.empty());
  EXPECT_TRUE(Holds("new"));
  EXPECT_TRUE(Logged(server, "cannot use"));
}

// The server's whole path: the relay hands the report to Delivery, which stores it in the
// outbox like any e-mail, and the relay sends it on from the null sender. The report's
// own transaction is refused, which must not bring a report about the report.
TEST(SmtpRelay, SenderGetsOneReportNamingEveryFailedRecipient) {
  struct Case {
    const char* name;
    FakeSmtp::Script first;
    std::chrono::seconds lifetime;
    std::vector<std::pair<std::string, std::string>> failed;  // address, Status
  };
  FakeSmtp::Script refused, deferred, afterData, reportRefused;
  // A hostile relay's reply: bytes that must not reach the report's fields raw.
  refused.recipient["carol@example.org"] = "550 5.1.1 no such user \x1B[2J\xFF\xFE";
  deferred.recipient["carol@example.org"] = "450 4.2.1 mailbox busy";
  afterData.end = "554 5.6.0 content rejected";
  reportRefused.recipient["ann@example.org"] = "550 5.1.1 ann left";
  const Case cases[] = {
      {"refused", refused, 1h, {{"carol@example.org", "5.1.1"}}},
      {"deferred past its lifetime", deferred, 0s, {{"carol@example.org", "5.4.7"}}},
      {"refused after DATA",
       afterData,
       1h,
       {{"bob@example.org", "5.6.0"}, {"carol@example.org", "5.6.0"}}},
      {"deferred, then taken", deferred, 1h, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSmtp smtp;
    ASSERT_TRUE(smtp.ready());
    smtp.Queue(c.first);
    smtp.Queue(reportRefused);
    murmel::test::TempDir state;
    TestServerSetup setup = Relaying(smtp.url(), state);
    setup.schedule.maxLifetime = c.lifetime;
    setup.reports = true;
    std::optional<TestServer> server(std::in_place, setup);
    const std::string voice = Submit(*server, "Hi\n");
    const fs::path outbox = server->outbox();
    const std::size_t files = c.failed.empty() ? 1 : 2;
    ASSERT_TRUE(Eventually(
        [&] { return Names(outbox / "sent").size() + Names(outbox / "failed").size() == files; }));
    server.reset();
    EXPECT_TRUE(Names(outbox / "new").empty());
    std::map<std::string, int> copies = {{"bob@example.org", 1}, {"carol@example.org", 1}};
    for (const auto& [address, status] : c.failed) copies.erase(address);
    const auto sessions = smtp.Sessions();
    EXPECT_EQ(Copies(sessions), copies);
    if (c.failed.empty()) continue;

    std::vector<std::string> reports = Names(outbox / "failed");
    std::erase(reports, voice);
    ASSERT_EQ(reports.size(), 1u);
    const fs::path report = outbox / "failed" / reports[0];
    EXPECT_EQ(sessions.back().from, "");
    const std::string mail = ReadFile(report);
    for (const auto& [address, status] : c.failed) {
      std::string record = "Final-Recipient: rfc822; ";
      record += address;
      record += "\nAction: failed\nStatus: ";
      record += status;
      record += "\nDiagnostic-Code: smtp; ";
      EXPECT_NE(mail.find(record), std::string::npos) << mail;
    }
    const std::string parsed = ParseMail(report).run.output;
    for (const char* part :
         {"\"defects\": []", "multipart/report", "report-type=\\\"delivery-status",
          "\"Auto-Submitted\": [\"auto-replied\"]", "\"to\": [\"ann@example.org\"]"}) {
      EXPECT_NE(parsed.find(part), std::string::npos) << part << "\n" << parsed;
    }
  }
}

}  // namespace
}  // namespace server_test
