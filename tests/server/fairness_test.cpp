// Fairness against a real server: one address or one sender cannot take the service from
// the others, and every session ends in time however busy it keeps itself.
#include "server/fairness.h"

#include <gtest/gtest.h>

#include <memory>

#include "scripted_client.h"

namespace server_test {
namespace {

using namespace std::chrono_literals;
constexpr char kHere[] = "127.0.0.1";
constexpr char kThere[] = "127.0.0.2";

// One message from a client host: "TROK", or the step that was refused.
std::string SendFrom(std::uint16_t port, const char* from, const std::string& sender) {
  return Send(port, {.sender = sender, .recipients = "r@example.org"}, from);
}

TEST(Fairness, OneAddressCannotHoldEverySession) {
  TestServer server;
  ASSERT_TRUE(server.ready());
  std::vector<std::unique_ptr<Client>> held;
  for (int i = 0; i < 8; ++i) {
    held.push_back(std::make_unique<Client>(server.port(), kHere));
    ASSERT_EQ(held.back()->ReceiveText(), "TROK") << i;
  }
  Client ninth(server.port(), kHere);
  EXPECT_EQ(ninth.ReceiveText(), "NOOK");
  EXPECT_TRUE(ninth.ClosedByServer());
  EXPECT_EQ(SendFrom(server.port(), kThere, "\"B\" <b@example.org>"), "TROK");
  // A session that ends gives its place back.
  held.front()->Close();
  EXPECT_TRUE(Eventually([&] {
    Client again(server.port(), kHere);
    return again.ReceiveText() == "TROK";
  }));
}

// Counted when accepted; refused at the first frame that shows the hour is used up.
TEST(Fairness, MessageRatesPerAddressAndPerSender) {
  murmel::server::Limits limits;
  limits.maxMessagesPerIp = 2;
  limits.maxMessagesPerSender = 1;
  TestServer server(limits);
  ASSERT_TRUE(server.ready());
  // From, sender, and "TROK" or the step refused.
  const std::tuple<const char*, const char*, const char*> steps[] = {
      {kHere, "\"A\" <ann@example.org>", "TROK"},
      {kHere, "\"A\" <Ann@example.org>", "SEND"},   // the sender's hour is used up
      {kThere, "\"A\" <ann@example.org>", "SEND"},  // from any address
      {kHere, "\"B\" <bob@example.org>", "TROK"},
      {kHere, "\"C\" <cid@example.org>", "greeting"},  // the address's hour
      {kThere, "\"C\" <cid@example.org>", "TROK"},
  };
  for (const auto& [from, sender, outcome] : steps)
    EXPECT_EQ(SendFrom(server.port(), from, sender), outcome) << from << " " << sender;
  EXPECT_EQ(server.Delivered().size(), 3u);
}

TEST(Fairness, EverySessionEndsAfterItsLifetimeHoweverBusy) {
  murmel::server::Limits limits;
  limits.maxSessionTime = 200ms;
  TestServer server(limits);
  ASSERT_TRUE(server.ready());
  Client client(server.port());
  ASSERT_TRUE(Greet(client));
  EXPECT_TRUE(Eventually([&] { return client.Exchange("CHCK_DEF2.80.1234").empty(); }));
  EXPECT_TRUE(Eventually([&] {
    const auto log = server.Log();
    return !log.empty() && log.back().find("session time over") != std::string::npos;
  }));
}

// An hour that is over is forgotten, the /64 of an IPv6 host counts as one client, and
// many addresses or sender names cannot grow the tables past their cap.
TEST(Fairness, BookkeepingCountsAnHourAndStaysBounded) {
  murmel::server::Limits limits;
  limits.maxMessagesPerIp = 2;
  auto now = std::chrono::system_clock::time_point{} + 5h;
  murmel::server::Fairness fairness(limits, 16, [&] { return now; });
  ASSERT_EQ(fairness.Admit("2001:db8::1"), "");
  fairness.Accepted("2001:db8::1", "a@x.org");
  fairness.Accepted("2001:db8::2", "a@x.org");
  fairness.Leave("2001:db8::1");
  EXPECT_EQ(fairness.Admit("2001:db8::ffff"), "2 messages from this address in the last hour");
  for (int i = 0; i < 1000; ++i) {
    const std::string address = "10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256);
    ASSERT_EQ(fairness.Admit(address), "") << address;
    fairness.Accepted(address, "s" + std::to_string(i) + "@x.org");
    fairness.Leave(address);
  }
  EXPECT_LE(fairness.trackedKeys(), 32u);
  // The lightest were forgotten, not the heaviest.
  EXPECT_NE(fairness.Admit("2001:db8::1"), "");
  now += 2h;
  EXPECT_EQ(fairness.Admit("2001:db8::1"), "");
}

// What the other servers counted refuses a sender here; what this server counted but the
// store did not take goes out again and is not counted twice.
TEST(Fairness, SharedCountsAddTheOtherServers) {
  using murmel::server::RateCount;
  using murmel::server::RateKind;
  murmel::server::Limits limits;
  limits.maxMessagesPerSender = 6;
  const auto now = std::chrono::system_clock::time_point{} + 100h + 1min;
  murmel::server::Fairness fairness(limits, 16, [&] { return now; });
  fairness.Accepted("10.0.0.1", "ann@x.org");
  fairness.Accepted("10.0.0.1", "ann@x.org");
  const std::vector<RateCount> taken = fairness.TakeUnshared();
  ASSERT_EQ(taken.size(), 2u);  // the address and the sender, this hour
  EXPECT_EQ(taken.back().hour, 100);
  EXPECT_EQ(taken.back().count, 2);
  fairness.Accepted("10.0.0.1", "ann@x.org");
  fairness.KeepUnshared(fairness.TakeUnshared());  // the store was away
  // The store holds the first two from here and two from another server.
  fairness.Shared(
      {{RateKind::Sender, "ann@x.org", 100, 4}, {RateKind::Sender, "bob@x.org", 99, 7}});
  const std::pair<const char*, const char*> cases[] = {
      {"ann@x.org", ""},  // 5: counting this server's own twice would make it 7
      {"bob@x.org", "6 messages from this sender in the last hour"},  // 59 minutes of 7
      {"cid@x.org", ""},
  };
  for (const auto& [sender, refusal] : cases)
    EXPECT_EQ(fairness.CheckSender("10.0.0.9", sender), refusal) << sender;
  fairness.Accepted("10.0.0.1", "ann@x.org");
  EXPECT_EQ(fairness.CheckSender("10.0.0.9", "ann@x.org"),
            "6 messages from this sender in the last hour");
  EXPECT_EQ(fairness.TakeUnshared().back().count, 2);  // the kept one and the new one
}

}  // namespace
}  // namespace server_test
