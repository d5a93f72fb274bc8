// Custom picture registrations end to end: in over the transfer socket, the confirmation
// e-mail out into the outbox, and its link opened over real HTTP as the sender's browser
// would. The registry's clock is the test's, so links age without waiting.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <regex>
#include <set>

#include "scripted_client.h"
#include "server/cartoons.h"
#include "server/http_help.h"

namespace server_test {
namespace {

constexpr char kAnn[] = "\"Ann\" <Ann@Example.org>";

Bytes Picture(std::string_view signature) {
  Bytes bytes = B(signature);
  bytes.resize(2048, 0x42);  // two FLBG/FLCN frames
  return bytes;
}

// The transfer server and the HTTP pages over one state folder, as murmelpost-server runs;
// senders need no confirmation here, that has its own tests.
struct PictureConfirmationTest : testing::Test {
  void SetUp() override { ASSERT_TRUE(server.ready()); }

  // The status of method on a confirmation link, as the sender's browser gets it.
  int Link(const char* method, const std::string& token, const char* page = "confirm") const {
    return server.Browser().Status(method, "/picture/" + std::string(page) + "/" + token);
  }

  std::set<std::filesystem::path> Mails() {
    AllComposed(server.delivery());
    const auto mails = Files(server.outbox() / "new");
    return {mails.begin(), mails.end()};
  }

  // A registration as the client sends it (empty clears). The token of the link mailed
  // for it, "" when it was accepted without one, nullopt when the server refused it.
  std::optional<std::string> Register(const Bytes& picture) {
    const auto before = Mails();
    const Mail registration{
        .sender = kAnn, .recipients = "", .subject = "", .type = 4, .upload = picture};
    if (Send(server.port(), registration) != "TROK") return std::nullopt;
    std::string token;
    for (const auto& mail : Mails()) {
      if (before.contains(mail)) continue;
      lastMail = ReadFile(mail);
      std::smatch match;
      if (std::regex_search(lastMail, match, std::regex("/picture/confirm/([0-9a-f]{32})"))) {
        token = match[1];
      }
    }
    return token;
  }

  // Sends a voice message from Ann; the file name of the picture it shows inline:
  // "cartoon" for one of ours.
  std::string PictureOnNextMessage() {
    const std::string subject = "message " + std::to_string(++sent);
    EXPECT_EQ(Send(server.port(), {.sender = kAnn, .subject = subject}), "TROK");
    for (const auto& mail : Mails()) {
      const std::string text = ReadFile(mail);
      std::smatch inline_;
      if (text.find("Subject: " + subject + "\n") == std::string::npos) continue;
      if (!std::regex_search(text, inline_, std::regex("inline; filename=\"([^\"]+)\""))) {
        return "none";
      }
      const auto cartoons = murmel::server::CartoonFiles();
      const bool cartoon = std::any_of(cartoons.begin(), cartoons.end(), [&](const auto& file) {
        return inline_.str(1) == file.name;
      });
      return cartoon ? "cartoon" : inline_[1].str();
    }
    return "not delivered";
  }

  std::atomic<std::time_t> now{1'800'000'000};
  TestServer server{{.http = true, .clock = [this] { return now.load(); }}};
  int sent = 0;
  std::string lastMail;
};

TEST_F(PictureConfirmationTest, PictureTravelsOnlyOnceTheSenderPressesConfirm) {
  const Bytes gif = Picture("GIF89a");
  const auto token = Register(gif);
  ASSERT_TRUE(token && token->size() == 32) << lastMail;
  const std::string& mail = lastMail;
  EXPECT_NE(mail.find("To: Ann@example.org"), std::string::npos) << mail;
  EXPECT_NE(mail.find("filename=\"picture.gif\""), std::string::npos) << mail;
  EXPECT_EQ(PictureOnNextMessage(), "cartoon");

  // Opening the link, as a mail scanner would, only shows what is to be confirmed.
  HttpClient browser = server.Browser();
  const std::string link = "/picture/confirm/" + *token;
  for (int i = 0; i < 2; ++i) {
    const auto page = browser.Get(link);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("Ann@example.org"), std::string::npos) << page->body;
    EXPECT_NE(page->body.find("<form method=\"post\" action=\"" + link + "\">"), std::string::npos);
    EXPECT_NE(page->body.find(">Confirm</button>"), std::string::npos);
    EXPECT_EQ(page->head.find("Content-Security-Policy", page->head.find("Security-Policy") + 1),
              std::string::npos);
    EXPECT_NE(page->Header("Content-Security-Policy").find("img-src 'self'"), std::string::npos);
  }
  const auto image = browser.Get("/picture/pending/" + *token);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->Header("Content-Type"), "image/gif");
  EXPECT_EQ(image->body, std::string(gif.begin(), gif.end()));
  EXPECT_EQ(PictureOnNextMessage(), "cartoon");

  const auto confirmed = browser.Request("POST", link);
  ASSERT_TRUE(confirmed);
  EXPECT_EQ(confirmed->status, 200);
  EXPECT_NE(confirmed->body.find("confirmed"), std::string::npos) << confirmed->body;
  EXPECT_EQ(PictureOnNextMessage(), "picture.gif");

  // A used link is gone, for the page, the button and the picture alike.
  EXPECT_EQ(Link("GET", *token), 404);
  EXPECT_EQ(Link("POST", *token), 404);
  const auto used = browser.Get("/picture/pending/" + *token);
  ASSERT_TRUE(used);
  EXPECT_EQ(used->status, 404);
  EXPECT_NE(used->body.find("no longer valid"), std::string::npos) << used->body;
}

// A newer registration replaces the pending one and its link; clearing is immediate and
// cancels a pending picture.
TEST_F(PictureConfirmationTest, NewerRegistrationsAndClearingCancelThePendingLink) {
  const auto first = Register(Picture("GIF89a"));
  const auto second = Register(Picture("\xFF\xD8\xFF\xE0"));
  ASSERT_TRUE(first && second);
  ASSERT_NE(*first, *second);
  EXPECT_EQ(Link("GET", *first), 404);
  EXPECT_EQ(Link("POST", *first), 404);
  EXPECT_EQ(PictureOnNextMessage(), "cartoon");
  EXPECT_EQ(Link("POST", *second), 200);
  EXPECT_EQ(PictureOnNextMessage(), "picture.jpg");

  const auto pending = Register(Picture("GIF89a"));
  const auto cleared = Register({});
  ASSERT_TRUE(pending && cleared);
  EXPECT_EQ(*cleared, "");
  EXPECT_NE(lastMail.find("cleared"), std::string::npos) << lastMail;
  EXPECT_EQ(PictureOnNextMessage(), "cartoon");
  EXPECT_EQ(Link("POST", *pending), 404);
  EXPECT_EQ(PictureOnNextMessage(), "cartoon");
}

TEST_F(PictureConfirmationTest, LinksExpireAfterSevenDays) {
  const auto token = Register(Picture("GIF89a"));
  ASSERT_TRUE(token);
  now += murmel::server::kPictureLinkLifetime;
  EXPECT_EQ(Link("GET", *token), 200);
  now += 1;
  EXPECT_EQ(Link("GET", *token), 404);
  EXPECT_EQ(Link("GET", *token, "pending"), 404);
  EXPECT_EQ(Link("POST", *token), 404);
  EXPECT_EQ(PictureOnNextMessage(), "cartoon");
  // Tokens are exactly what the server made: anything else is an ordinary missing page.
  EXPECT_EQ(Link("POST", std::string(32, 'g')), 405);
}

}  // namespace
}  // namespace server_test
