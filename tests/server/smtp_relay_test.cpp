// The relay thread against a scripted SMTP relay on loopback: what arrives, byte for byte
// and to whom, and where each file ends up after temporary and permanent refusals.
#include "server/smtp_relay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <future>
#include <memory>

#include "fake_smtp.h"
#include "scripted_client.h"
#include "server/delivery.h"
#include "support/temp_dir.h"

namespace server_test {
namespace {

using namespace std::chrono_literals;
using murmel::server::SmtpRelay;
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
constexpr char kMailOnTheWire[] =
    "From: \"Ann Lee\" <ann@example.org>\r\n"
    "To: bob@example.org, Team: carol@example.org, dave@example.org;\r\n"
    "Cc: \"Bob again\" <bob@example.org>, eve@example.org\r\n"
    "Subject: dots\r\n"
    "Message-ID: <1@test>\r\n"
    "\r\n"
    ".leading dot\r\n"
    "..two dots\r\n"
    ".\r\n"
    "already CRLF\r\n"
    "last line\r\n";
const std::vector<std::string> kRecipients = {"bob@example.org", "carol@example.org",
                                              "dave@example.org", "eve@example.org"};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class Outbox {
 public:
  Outbox() { murmel::server::Maildir(root()).Create(); }
  ~Outbox() {
    if (relay_) relay_->Stop();
  }

  fs::path root() const { return fs::path(state_.path()) / "outbox"; }

  void Put(const std::string& name, const std::string& mail) const {
    std::ofstream(root() / "new" / name, std::ios::binary) << mail;
  }

  std::vector<std::string> Files(const char* folder) const {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(root() / folder, error))
      names.push_back(entry.path().filename().string());
    return names;
  }

  bool Holds(const char* folder, const std::string& name) const {
    return fs::exists(root() / folder / name);
  }

  SmtpRelay& Start(const std::string& url, murmel::server::SmtpRelayOptions relay = {},
                   murmel::server::RelaySchedule schedule = Fast()) {
    relay.url = url;
    if (relay.envelopeFrom.empty()) relay.envelopeFrom = "murmelpost@example.net";
    // Files put here by hand have no catalogue: their To and Cc stand for the record.
    auto envelope = [this](const std::string& name) {
      return std::optional(murmel::server::MailRecipients(ReadAll(root() / "new" / name)));
    };
    relay_ = std::make_unique<SmtpRelay>(
        root(), relay, schedule, envelope, [this](const std::string& line) {
          EXPECT_EQ(line.find('\n'), std::string::npos) << "one line each: " << line;
          const std::lock_guard lock(logMutex_);
          log_ += line + "\n";
        });
    EXPECT_TRUE(relay_->Start().ok);
    return *relay_;
  }

  std::string Log() {
    const std::lock_guard lock(logMutex_);
    return log_;
  }
  bool Logged(const std::string& part) { return Log().find(part) != std::string::npos; }

  static murmel::server::RelaySchedule Fast() {
    murmel::server::RelaySchedule schedule;
    schedule.firstRetry = 10ms;
    schedule.longestRetry = 80ms;
    schedule.rescan = 50ms;
    return schedule;
  }

 private:
  testing_support::TempDir state_;
  std::unique_ptr<SmtpRelay> relay_;
  std::mutex logMutex_;
  std::string log_;
};

std::vector<std::string> Sorted(std::vector<std::string> list) {
  std::sort(list.begin(), list.end());
  return list;
}

// The relay's 250 to the body: the number of times the message was really handed over.
int Handovers(const std::vector<FakeSmtp::Session>& sessions) {
  return static_cast<int>(std::count_if(sessions.begin(), sessions.end(), [](const auto& s) {
    return s.body && s.endReply.starts_with("250");
  }));
}

TEST(SmtpRelay, MessagesWaitingAtStartArriveByteIntactForEveryRecipient) {
  FakeSmtp smtp;
  ASSERT_TRUE(smtp.ready());
  Outbox outbox;
  outbox.Put("1700000000.M1P1Q1.host", kMail);
  outbox.Put("1700000000.M2P1Q2.host", kMail);
  murmel::server::SmtpRelayOptions relay;
  relay.envelopeFrom = "bounces@example.net";
  outbox.Start(smtp.url(), relay);

  ASSERT_TRUE(
      Eventually([&] { return outbox.Files("sent").size() == 2 && smtp.Sessions().size() == 2; }));
  EXPECT_TRUE(outbox.Files("new").empty());
  EXPECT_EQ(ReadAll(outbox.root() / "sent" / "1700000000.M1P1Q1.host"), kMail);
  const auto sessions = smtp.Sessions();
  ASSERT_EQ(Handovers(sessions), 2);
  for (const auto& session : sessions) {
    EXPECT_EQ(session.from, "bounces@example.net");
    EXPECT_EQ(Sorted(session.recipients), kRecipients);
    EXPECT_EQ(session.body, kMailOnTheWire);
  }
}

// The accepting side only wakes the relay; with rescans an hour apart, the wake-up alone
// must get the message out.
TEST(SmtpRelay, AcceptedMessageGoesOutWhenDeliveryWakesTheRelay) {
  FakeSmtp smtp;
  ASSERT_TRUE(smtp.ready());
  testing_support::TempDir state;
  murmel::server::Delivery delivery(state.path(), {.verifySenders = false});
  ASSERT_TRUE(delivery.Open().ok);
  murmel::server::RelaySchedule schedule = Outbox::Fast();
  schedule.rescan = 1h;
  murmel::server::SmtpRelayOptions options;
  options.url = smtp.url();
  options.envelopeFrom = "murmelpost@example.net";
  murmel::server::Catalogue catalogue(fs::path(state.path()) / murmel::server::kCatalogueFileName);
  ASSERT_TRUE(catalogue.Open().ok);
  auto envelope = [&catalogue](const std::string& name) {
    murmel::server::IoResult read;
    return catalogue.Recipients(name, read);
  };
  SmtpRelay relay(delivery.outboxRoot(), options, schedule, envelope, [](const std::string&) {});
  ASSERT_TRUE(relay.Start().ok);
  delivery.OnDelivered([&] { relay.Wake(); });

  murmel::server::Message message;
  message.sender = {"Ann Lee", "ann@example.org"};
  message.recipients = {"bob@example.org", "carol@example.org"};
  message.subject = "Hello";
  const std::string text = "First line\n.\n.dotted\nend\n";
  message.spool = std::make_shared<murmel::server::SpoolFile>(delivery.spoolFolder());
  message.uploads.push_back({murmel::server::kUploadText, "", 0, 0});
  ASSERT_TRUE(message.Append(server_test::B(text)).ok);
  std::promise<murmel::server::DeliveryResult> done;
  delivery.Submit(message, "192.0.2.7",
                  [&done](murmel::server::DeliveryResult result) { done.set_value(result); });
  const auto accepted = done.get_future().get();
  ASSERT_TRUE(accepted.ok) << accepted.detail;

  const fs::path sent = delivery.outboxRoot() / "sent" / fs::path(accepted.detail).filename();
  ASSERT_TRUE(Eventually([&] { return fs::exists(sent) && !smtp.Sessions().empty(); }));
  const auto sessions = smtp.Sessions();
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(Sorted(sessions[0].recipients),
            (std::vector<std::string>{"bob@example.org", "carol@example.org"}));
  std::string expected = ReadAll(sent);
  ASSERT_EQ(expected.find('\r'), std::string::npos);  // the composer writes LF only
  for (std::size_t at = 0; (at = expected.find('\n', at)) != std::string::npos; at += 2)
    expected.insert(at, "\r");
  EXPECT_EQ(sessions[0].body, expected);
  relay.Stop();
}

// Each script refuses once for the time being; the next connection takes everything.
TEST(SmtpRelay, TemporaryRefusalsAreRetriedAndTheMessageIsHandedOverOnce) {
  struct Case {
    const char* name;
    FakeSmtp::Script first;
  };
  FakeSmtp::Script busy, sender, oneRecipient, body;
  busy.greeting = "421 4.3.2 too busy";
  sender.mail = "451 4.3.0 try later";
  oneRecipient.recipient["carol@example.org"] = "451 4.2.1 mailbox busy";
  body.end = "451 4.3.0 queue full";
  const Case cases[] = {
      {"greeting", busy}, {"sender", sender}, {"one recipient", oneRecipient}, {"body", body}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSmtp smtp;
    ASSERT_TRUE(smtp.ready());
    smtp.Queue(c.first);
    Outbox outbox;
    outbox.Put("m", kMail);
    outbox.Start(smtp.url());
    ASSERT_TRUE(
        Eventually([&] { return outbox.Holds("sent", "m") && Handovers(smtp.Sessions()) > 0; }));
    const auto sessions = smtp.Sessions();
    ASSERT_GE(sessions.size(), 2u);
    EXPECT_EQ(Handovers(sessions), 1);
    EXPECT_EQ(Sorted(sessions.back().recipients), kRecipients);
    // Taking the others while one waits would split the message in two deliveries.
    if (c.first.recipient.size() == 1) {
      EXPECT_FALSE(sessions.front().body);
    }
  }
}

TEST(SmtpRelay, PermanentRefusalsEndInFailedWithTheReasonLogged) {
  struct Case {
    const char* name;
    FakeSmtp::Script script;
    const char* folder;
    const char* logged;
  };
  FakeSmtp::Script everyone, sender, body, one, mixed;
  for (const auto& address : kRecipients) everyone.recipient[address] = "550 5.1.1 no such user";
  sender.mail = "553 5.1.8 bad sender domain";
  body.end = "554 5.6.0 content rejected";
  one.recipient["dave@example.org"] = "550 5.1.1 dave left";
  mixed = everyone;
  mixed.recipient["eve@example.org"] = "452 4.2.2 mailbox full";
  const Case cases[] = {
      {"every recipient", everyone, "failed", "m moved to failed/: every recipient refused"},
      {"sender", sender, "failed", "m moved to failed/: sender refused: 553 5.1.8"},
      {"body", body, "failed", "m moved to failed/: message refused: 554 5.6.0"},
      // The others still get it; the refused one is named.
      {"one recipient", one, "sent", "dave@example.org: 550 5.1.1 dave left"},
      // One of them may work later: not given up.
      {"refused and deferred", mixed, "new", "m: recipients deferred"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSmtp smtp;
    ASSERT_TRUE(smtp.ready());
    smtp.Queue(c.script);
    smtp.Queue(c.script);
    Outbox outbox;
    outbox.Put("m", kMail);
    outbox.Start(smtp.url());
    ASSERT_TRUE(Eventually([&] { return outbox.Logged(c.logged); })) << outbox.Log();
    EXPECT_TRUE(outbox.Holds(c.folder, "m"));
  }
}

TEST(SmtpRelay, RelayThatIsDownAtFirstGetsTheMessageWhenItComesUp) {
  const std::uint16_t port = FakeSmtp::UnusedPort();
  Outbox outbox;
  outbox.Put("m", kMail);
  outbox.Start("smtp://127.0.0.1:" + std::to_string(port));
  ASSERT_TRUE(Eventually([&] { return outbox.Logged("cannot use smtp://127.0.0.1"); }));
  EXPECT_TRUE(outbox.Holds("new", "m"));

  FakeSmtp smtp(port);
  ASSERT_TRUE(smtp.ready());
  ASSERT_TRUE(Eventually([&] { return outbox.Holds("sent", "m") && !smtp.Sessions().empty(); }));
  EXPECT_EQ(Handovers(smtp.Sessions()), 1);
}

// One message waiting in new/ for a relay that takes everything unless told otherwise.
class SmtpRelayWithOneMessage : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(smtp.ready());
    outbox.Put("m", kMail);
  }
  FakeSmtp smtp;
  Outbox outbox;
};

// Curl is told to wait minutes for a reply; Stop must not.
TEST_F(SmtpRelayWithOneMessage, StopReturnsWhileTheRelayIsSilentAndKeepsTheMessage) {
  FakeSmtp::Script silent;
  silent.silent = true;
  smtp.Queue(silent);
  murmel::server::RelaySchedule schedule = Outbox::Fast();
  schedule.timeouts.connect = 300s;
  schedule.timeouts.reply = 300s;
  SmtpRelay& relay = outbox.Start(smtp.url(), {}, schedule);
  ASSERT_TRUE(Eventually([&] { return smtp.connections() == 1; }));
  relay.Stop();
  EXPECT_TRUE(outbox.Holds("new", "m"));
  EXPECT_TRUE(outbox.Files("sent").empty());
}

TEST_F(SmtpRelayWithOneMessage, LogsInWithTheConfiguredUserAndPassword) {
  murmel::server::SmtpRelayOptions relay;
  relay.user = "murmel";
  relay.password = "s3cret pass";
  outbox.Start(smtp.url(), relay);
  ASSERT_TRUE(Eventually([&] { return outbox.Holds("sent", "m") && !smtp.Sessions().empty(); }));
  EXPECT_EQ(smtp.Sessions().back().login, std::string("\0murmel\0s3cret pass", 19));
}

// A relay that does not offer STARTTLS must not get the message in the clear.
TEST_F(SmtpRelayWithOneMessage, RequiredStartTlsSendsNothingToARelayWithoutIt) {
  murmel::server::SmtpRelayOptions relay;
  relay.requireStartTls = true;
  outbox.Start(smtp.url(), relay);
  ASSERT_TRUE(Eventually([&] { return smtp.Sessions().size() >= 2; }));
  for (const auto& session : smtp.Sessions()) EXPECT_TRUE(session.from.empty());
  EXPECT_TRUE(outbox.Holds("new", "m"));
  EXPECT_TRUE(outbox.Logged("cannot use"));
}

}  // namespace
}  // namespace server_test
