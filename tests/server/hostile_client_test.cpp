// A hostile client against a real server on loopback: every attack is refused at its
// payload with nothing stored, what is accepted reaches the e-mail, the catalogue and the
// relay's envelope exactly as meant (read back by Python's strict e-mail parser and a fake
// SMTP relay), and senders confirm their address over HTTP before anything goes out.
#include <gtest/gtest.h>

#include <atomic>
#include <regex>

#include "fake_smtp.h"
#include "scripted_client.h"
#include "server/sqlite_store.h"

namespace server_test {
namespace {

using namespace std::chrono_literals;
using murmel::server::CatalogueRow;
using murmel::server::MessageState;
using murmel::server::SqliteStore;
namespace fs = std::filesystem;

constexpr char kAnn[] = "\"Ann\" <ann@example.org>";
const std::string kGreeting = "HELLCEMurmelpost _DEF:2.80.1234";

// The parts of a stored e-mail that a reader sees, as Python's strict parser reads them:
// one "key: value" line each.
std::string MailSummary(const fs::path& mail) {
  const fs::path checker = server_test::TestScript("strict_mail.py");
  const std::string script = R"PY(
import json, sys
d = json.load(sys.stdin)
print('defects:', d['defects'])
print('from:', ' | '.join(d['from'][0]))
print('reply-to:', ' | '.join(d['reply_to'][0]) if d['reply_to'] else '')
print('to:', ','.join(d['to']))
print('first-header:', next(iter(d['headers'])))
header = lambda name: next((v[0] for k, v in d['headers'].items() if k.lower() == name), '')
print('received:', header('received'))
print('message-id:', header('message-id'))
print('text:', repr(d['text']))
print('attachments:', ','.join('%s:%d' % (a['filename'], a['size']) for a in d['attachments']))
)PY";
  const fs::path summary = mail.parent_path().parent_path().parent_path() / "summary.py";
  std::ofstream(summary) << script;
  return RunCommand("python3 '" + checker.string() + "' '" + mail.string() + "' | python3 '" +
                    summary.string() + "'")
      .output;
}

std::vector<fs::path> FilesIn(const fs::path& folder) {
  std::error_code error;
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder, error)) files.push_back(entry.path());
  return files;
}

std::vector<CatalogueRow> Rows(const fs::path& state) {
  SqliteStore reader(state / murmel::server::kCatalogueFileName);
  murmel::server::Result result = reader.Open(true);
  return result.ok ? reader.Newest(100, result) : std::vector<CatalogueRow>{};
}

// One message as the client sends it; "TROK" when every payload was, else the step and
// reply of the first that was not.
std::string Send(std::uint16_t port, std::string_view sender, std::string_view recipients,
                 std::string_view subject, std::string_view text = "hello") {
  Client client(port);
  if (!Greet(client)) return "greeting refused";
  if (!Envelope(client, sender, recipients, subject)) return "envelope refused";
  if (!text.empty() && !Upload(client, 1, B(text))) return "text refused";
  return client.Exchange("FINI");
}

TEST(HostileClient, AttacksAreRefusedAtTheirPayloadAndLeaveNothingBehind) {
  TestServer server(TestServerSetup{.http = true, .delivery = {.mailFrom = "mp@service.example"}});
  ASSERT_TRUE(server.ready());
  std::string many = "g: ";
  for (int i = 0; i < 300; ++i) many += "a" + std::to_string(i) + "@x.org ";
  std::string ebcdic;  // "a@x.org" 200 times in code page 500: no byte 0x2C to count
  for (int i = 0; i < 200; ++i) ebcdic += "\x81\x7C\xA7\x4B\x96\x99\x87\x6B";
  Bytes gifBomb = B("MZ");
  gifBomb.resize(2048, 0x90);
  struct Attack {
    const char* name;
    std::vector<Bytes> payloads;  // after the opening word; the last one must be refused
  };
  const Bytes locale = LocaleRecord();
  const Bytes hello = B(kGreeting);
  const Bytes type = B("TYPE_DEF");
  const Bytes send = B(std::string("SEND") + kAnn);
  const Attack attacks[] = {
      {"a recipient that writes headers",
       {hello, locale, type, send,
        B("RECI\"x\r\nCc: victim@bank.test\r\nSubject: Your account is locked\r\nContent-Type: "
          "text/html\r\n\r\n<html><!--\"@example.org")}},
      {"a sender that writes headers",
       {hello, locale, type, B("SEND\"Ann\" <\"x\r\nCc: victim@bank.test\"@example.org>")}},
      {"300 recipients in a group", {hello, locale, type, send, B("RECI" + many)}},
      {"an EBCDIC code page", {hello, LocaleRecord(500)}},
      {"a hidden second recipient",
       {hello, locale, type, send, B("RECIBob <bob@x.org> evil@y.org")}},
      {"a NUL in the subject",
       {hello, locale, type, send, B("RECIbob@x.org"), B(std::string_view("TITLa\0b", 7))}},
      {"terminal escapes in the subject",
       {hello, locale, type, send, B("RECIbob@x.org"), B("TITL\x1B]0;owned\x07\x1B[2J")}},
      {"an executable as a picture",
       {hello, locale, send, B("RECI"), B("TITL"), B("FLSZ2048"), B("FLTP4"),
        Join(B("FLBG"), Bytes(gifBomb.begin(), gifBomb.begin() + 1024))}},
  };
  for (const Attack& attack : attacks) {
    Client client(server.port());
    ASSERT_TRUE(client.Receive()) << attack.name;
    for (std::size_t i = 0; i + 1 < attack.payloads.size(); ++i) {
      ASSERT_EQ(client.Exchange(attack.payloads[i]), "TROK") << attack.name << " payload " << i;
    }
    EXPECT_EQ(client.Exchange(attack.payloads.back()), "NOOK") << attack.name;
    EXPECT_TRUE(client.ClosedByServer()) << attack.name;
  }
  // Types 2, 3 and 5 to 9, a second text, a text with a picture: refused, not dropped.
  for (const int undefined : {2, 3, 5, 6, 7, 8, 9}) {
    Client client(server.port());
    ASSERT_TRUE(Greet(client) && Envelope(client, kAnn, "bob@x.org", "s"));
    ASSERT_EQ(client.Exchange("FLSZ1"), "TROK");
    EXPECT_EQ(client.Exchange("FLTP" + std::to_string(undefined)), "NOOK") << undefined;
  }
  EXPECT_TRUE(server.Delivered().empty());
  EXPECT_TRUE(FilesIn(server.state() / "held" / "new").empty());
  EXPECT_TRUE(Rows(server.state()).empty());
}

TEST(HostileClient, AcceptedMessagesCarryExactlyTheIntendedHeadersEnvelopeAndRow) {
  FakeSmtp smtp;
  ASSERT_TRUE(smtp.ready());
  TestServer server(
      TestServerSetup{.delivery = {.mailFrom = "mp@service.example", .verifySenders = false},
                      .smtpRelay = smtp.url()});
  ASSERT_TRUE(server.ready());

  // Legal but awkward: quotes, a comma, brackets and an '@' in the name; a repeated and an
  // internationalised recipient; a bare CR, a 1023-character line; an empty attachment.
  const std::string name = "Zo\xE9 \"Z\" <Lee>, evil@x.org";
  const std::string longLine(1023, 'w');
  Client client(server.port());
  ASSERT_TRUE(Greet(client));
  ASSERT_TRUE(Envelope(client, "\"" + name + "\" <zoe@example.org>",
                       "bob@example.org,Carol@M\xFCller.example,BOB@example.org", "Caf\xE9 \x80"));
  ASSERT_TRUE(Upload(client, 1, B("one\rtwo\r\n" + longLine + "\nend")));
  ASSERT_TRUE(Upload(client, 10, {}, "empty.txt"));
  ASSERT_EQ(client.Exchange("FINI"), "TROK");
  client.Close();

  const auto rows = Rows(server.state());
  ASSERT_EQ(rows.size(), 1u);
  const fs::path mail = server.outbox() / "sent" / rows[0].file;
  ASSERT_TRUE(Eventually([&] { return fs::exists(mail); }));
  const std::string summary = MailSummary(mail);
  EXPECT_NE(summary.find("defects: []"), std::string::npos) << summary;
  EXPECT_NE(summary.find("from: Zo\xC3\xA9 \"Z\" <Lee>, evil@x.org via Murmelpost | "
                         "mp@service.example\n"),
            std::string::npos)
      << summary;
  EXPECT_NE(summary.find("reply-to: Zo\xC3\xA9 \"Z\" <Lee>, evil@x.org | zoe@example.org\n"),
            std::string::npos)
      << summary;
  const std::string to = "bob@example.org,Carol@xn--mller-kva.example";
  EXPECT_NE(summary.find("to: " + to + "\n"), std::string::npos) << summary;
  EXPECT_NE(summary.find("first-header: Received\n"), std::string::npos) << summary;
  EXPECT_NE(summary.find("received: from [127.0.0.1] by service.example"), std::string::npos)
      << summary;
  EXPECT_NE(summary.find("@service.example>"), std::string::npos) << summary;
  EXPECT_NE(summary.find("text: 'one\\ntwo\\n" + longLine + "\\nend"), std::string::npos)
      << summary;
  EXPECT_NE(summary.find("attachments: empty.txt:0"), std::string::npos) << summary;

  // One list: the row, the To header and what the relay was told agree.
  EXPECT_EQ(rows[0].recipients, "bob@example.org, Carol@xn--mller-kva.example");
  EXPECT_EQ(rows[0].sender, "zoe@example.org");
  EXPECT_EQ(rows[0].clientAddress, "127.0.0.1");
  const auto sessions = smtp.Sessions();
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0].recipients,
            (std::vector<std::string>{"bob@example.org", "Carol@xn--mller-kva.example"}));
  EXPECT_EQ(sessions[0].from, "mp@service.example");
}

// Sender confirmation over HTTP; the clock is the test's, so days pass at once.
class SenderVerification : public testing::Test {
 protected:
  std::atomic<std::time_t> now{1'800'000'000};
  FakeSmtp smtp;
  TestServer server{TestServerSetup{.http = true,
                                    .delivery = {.mailFrom = "mp@service.example"},
                                    .clock = [this] { return now.load(); },
                                    .smtpRelay = smtp.url()}};

  // The links mailed so far to address, oldest first.
  std::vector<std::string> LinksTo(const std::string& address) {
    std::vector<std::string> links;
    for (const CatalogueRow& row : Rows(server.state())) {
      if (row.kind != murmel::server::MessageKind::SenderConfirmation || row.recipients != address)
        continue;
      // new/ first: the relay moves files from there to sent/, never back.
      for (const char* folder : {"new", "sent"}) {
        const std::string text = ReadFile(server.outbox() / folder / row.file);
        std::smatch match;
        if (std::regex_search(text, match, std::regex("/sender/confirm/[0-9a-f]{32}"))) {
          links.insert(links.begin(), match[0]);
          break;
        }
      }
    }
    return links;
  }

  std::size_t Count(MessageState state) {
    const auto rows = Rows(server.state());
    return static_cast<std::size_t>(std::count_if(rows.begin(), rows.end(), [&](const auto& row) {
      return row.kind == murmel::server::MessageKind::Voice && row.state == state;
    }));
  }

  // Recipients the relay was given for voice messages (confirmation mail aside).
  std::size_t VoiceHandedOver() {
    std::size_t count = 0;
    for (const auto& session : smtp.Sessions())
      count += session.body && session.body->find("X-Murmelpost-Kind: voice") != std::string::npos;
    return count;
  }
};

TEST_F(SenderVerification, MessagesWaitForTheSenderToConfirmThenGoOutOnce) {
  ASSERT_TRUE(server.ready() && smtp.ready());
  EXPECT_EQ(Send(server.port(), kAnn, "bob@example.org", "first"), "TROK");
  EXPECT_EQ(Send(server.port(), kAnn, "carol@example.org", "second"), "TROK");
  EXPECT_EQ(Count(MessageState::Held), 2u);
  // One confirmation e-mail for both: a second within the day would flood the victim.
  const auto links = LinksTo("ann@example.org");
  ASSERT_EQ(links.size(), 1u);
  ASSERT_TRUE(server_test::AllComposed(server.delivery()));
  EXPECT_EQ(FilesIn(server.state() / "held" / "new").size(), 2u);

  HttpClient browser = server.Browser();
  for (int i = 0; i < 2; ++i) {
    const auto page = browser.Get(links[0]);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("ann@example.org"), std::string::npos);
    EXPECT_NE(page->body.find("second"), std::string::npos) << page->body;
    EXPECT_NE(page->body.find(">Confirm</button>"), std::string::npos);
  }
  EXPECT_EQ(Count(MessageState::Held), 2u);

  const auto confirmed = browser.Post(links[0]);
  ASSERT_TRUE(confirmed);
  EXPECT_EQ(confirmed->status, 200);
  EXPECT_NE(confirmed->body.find("2 messages"), std::string::npos) << confirmed->body;
  EXPECT_TRUE(Eventually([&] { return VoiceHandedOver() == 2; }));
  EXPECT_EQ(Status(browser, "POST", links[0]), 404);

  // Verified: the next message goes out at once, and nothing goes twice.
  EXPECT_EQ(Send(server.port(), kAnn, "dave@example.org", "third"), "TROK");
  EXPECT_TRUE(Eventually([&] { return VoiceHandedOver() == 3; }));
  EXPECT_EQ(Count(MessageState::Held), 0u);
  EXPECT_EQ(LinksTo("ann@example.org").size(), 1u);
  const std::string list = murmel::server::FormatRows(Rows(server.state()));
  EXPECT_EQ(list.find("held"), std::string::npos) << list;
}

TEST_F(SenderVerification, UnconfirmedMessagesExpireAndConfirmationMailsAreCappedPerDay) {
  ASSERT_TRUE(server.ready() && smtp.ready());
  EXPECT_EQ(Send(server.port(), kAnn, "bob@example.org", "day one"), "TROK");
  now += murmel::server::kDay - 1;
  EXPECT_EQ(Send(server.port(), kAnn, "bob@example.org", "same day"), "TROK");
  EXPECT_EQ(LinksTo("ann@example.org").size(), 1u);
  now += 2;
  EXPECT_EQ(Send(server.port(), kAnn, "bob@example.org", "day two"), "TROK");
  const auto links = LinksTo("ann@example.org");
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0], links[1]);  // the same link: either e-mail works
  EXPECT_NE(murmel::server::FormatRows(Rows(server.state())).find("held"), std::string::npos);

  now += murmel::server::kHeldLifetime + 1;
  murmel::server::Result result;
  EXPECT_EQ(server.delivery().ExpireHeld(result), 3);
  EXPECT_TRUE(result.ok) << result.error;
  EXPECT_EQ(Count(MessageState::Expired), 3u);
  EXPECT_TRUE(FilesIn(server.state() / "held" / "new").empty());
  HttpClient browser = server.Browser();
  EXPECT_EQ(Status(browser, "POST", links[0]), 404);
  EXPECT_EQ(VoiceHandedOver(), 0u);
}

TEST_F(SenderVerification, PicturesNeedAConfirmedSender) {
  ASSERT_TRUE(server.ready() && smtp.ready());
  Bytes gif = B("GIF89a");
  gif.resize(100, 0);
  auto picture = [&](const Bytes& bytes) {
    Client client(server.port());
    if (!client.Receive() || client.Exchange(kGreeting) != "TROK" ||
        client.Exchange(LocaleRecord()) != "TROK" || !Envelope(client, kAnn, "", "") ||
        !Upload(client, 4, bytes)) {
      return std::string("refused early");
    }
    return client.Exchange("FINI");
  };
  EXPECT_EQ(picture({}), "NOOK");
  EXPECT_EQ(picture(gif), "NOOK");
  const auto links = LinksTo("ann@example.org");
  ASSERT_EQ(links.size(), 1u);
  HttpClient browser = server.Browser();
  EXPECT_EQ(Status(browser, "POST", links[0]), 200);
  EXPECT_EQ(picture(gif), "TROK");
  EXPECT_EQ(picture({}), "TROK");
}

}  // namespace
}  // namespace server_test
