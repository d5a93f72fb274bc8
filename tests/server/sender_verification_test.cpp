// Senders confirm their address over HTTP before anything of theirs goes out: one link a
// day however many messages wait, held messages expire, and pictures wait for it too.
#include <gtest/gtest.h>

#include <atomic>
#include <regex>

#include "fake_smtp.h"
#include "scripted_client.h"

namespace server_test {
namespace {

using murmel::server::CatalogueRow;
using murmel::server::MessageState;

constexpr char kAnn[] = "\"Ann\" <ann@example.org>";

std::string SendFromAnn(std::uint16_t port, const std::string& to, const std::string& subject) {
  return Send(port, {.sender = kAnn, .recipients = to, .subject = subject});
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
  EXPECT_EQ(SendFromAnn(server.port(), "bob@example.org", "first"), "TROK");
  EXPECT_EQ(SendFromAnn(server.port(), "carol@example.org", "second"), "TROK");
  EXPECT_EQ(Count(MessageState::Held), 2u);
  // One confirmation e-mail for both: a second within the day would flood the victim.
  const auto links = LinksTo("ann@example.org");
  ASSERT_EQ(links.size(), 1u);
  ASSERT_TRUE(server_test::AllComposed(server.delivery()));
  EXPECT_EQ(Files(server.state() / "held" / "new").size(), 2u);

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

  const auto confirmed = browser.Request("POST", links[0]);
  ASSERT_TRUE(confirmed);
  EXPECT_EQ(confirmed->status, 200);
  EXPECT_NE(confirmed->body.find("2 messages"), std::string::npos) << confirmed->body;
  EXPECT_TRUE(Eventually([&] { return VoiceHandedOver() == 2; }));
  EXPECT_EQ(browser.Status("POST", links[0]), 404);

  // Verified: the next message goes out at once, and nothing goes twice.
  EXPECT_EQ(SendFromAnn(server.port(), "dave@example.org", "third"), "TROK");
  EXPECT_TRUE(Eventually([&] { return VoiceHandedOver() == 3; }));
  EXPECT_EQ(Count(MessageState::Held), 0u);
  EXPECT_EQ(LinksTo("ann@example.org").size(), 1u);
  const std::string list = murmel::server::FormatRows(Rows(server.state()));
  EXPECT_EQ(list.find("held"), std::string::npos) << list;
}

TEST_F(SenderVerification, UnconfirmedMessagesExpireAndConfirmationMailsAreCappedPerDay) {
  ASSERT_TRUE(server.ready() && smtp.ready());
  EXPECT_EQ(SendFromAnn(server.port(), "bob@example.org", "day one"), "TROK");
  now += murmel::server::kDay - 1;
  EXPECT_EQ(SendFromAnn(server.port(), "bob@example.org", "same day"), "TROK");
  EXPECT_EQ(LinksTo("ann@example.org").size(), 1u);
  now += 2;
  EXPECT_EQ(SendFromAnn(server.port(), "bob@example.org", "day two"), "TROK");
  const auto links = LinksTo("ann@example.org");
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0], links[1]);  // the same link: either e-mail works
  EXPECT_NE(murmel::server::FormatRows(Rows(server.state())).find("held"), std::string::npos);

  now += murmel::server::kHeldLifetime + 1;
  murmel::server::Result result;
  EXPECT_EQ(server.delivery().ExpireHeld(result), 3);
  EXPECT_TRUE(result.ok) << result.error;
  EXPECT_EQ(Count(MessageState::Expired), 3u);
  EXPECT_TRUE(Files(server.state() / "held" / "new").empty());
  HttpClient browser = server.Browser();
  EXPECT_EQ(browser.Status("POST", links[0]), 404);
  EXPECT_EQ(VoiceHandedOver(), 0u);
}

TEST_F(SenderVerification, PicturesNeedAConfirmedSender) {
  ASSERT_TRUE(server.ready() && smtp.ready());
  Bytes gif = B("GIF89a");
  gif.resize(100, 0);
  auto picture = [&](const Bytes& bytes) {
    return Send(server.port(),
                {.sender = kAnn, .recipients = "", .subject = "", .type = 4, .upload = bytes});
  };
  EXPECT_EQ(picture({}), "NOOK");
  EXPECT_EQ(picture(gif), "NOOK");
  const auto links = LinksTo("ann@example.org");
  ASSERT_EQ(links.size(), 1u);
  HttpClient browser = server.Browser();
  EXPECT_EQ(browser.Status("POST", links[0]), 200);
  EXPECT_EQ(picture(gif), "TROK");
  EXPECT_EQ(picture({}), "TROK");
}

}  // namespace
}  // namespace server_test
