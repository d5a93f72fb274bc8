#include "server/options.h"

#include <gtest/gtest.h>

namespace murmel::server {
namespace {

ParseResult Parse(const std::vector<std::string>& arguments, Options& options,
                  const std::string& home = "/home/u", const std::string& state = "") {
  return ParseOptions(arguments, home, state, options);
}

TEST(Options, DefaultsListenOnPort110AndKeepStateUnderXdg) {
  Options options;
  ASSERT_TRUE(Parse({}, options).ok);
  EXPECT_EQ(options.port, 110);
  EXPECT_EQ(options.listenAddress, "::");
  EXPECT_EQ(options.stateDir, "/home/u/.local/state/murmelpost-server");
  Options xdg;
  ASSERT_TRUE(Parse({}, xdg, "/home/u", "/var/xdg").ok);
  EXPECT_EQ(xdg.stateDir, "/var/xdg/murmelpost-server");
  Options nowhere;
  EXPECT_FALSE(Parse({}, nowhere, "", "").ok);
}

TEST(Options, ListenAcceptsAddressPortForms) {
  struct Case {
    const char* value;
    bool ok;
    const char* address;
    int port;
  };
  const Case cases[] = {
      {"127.0.0.1:8110", true, "127.0.0.1", 8110},
      {"0.0.0.0", true, "0.0.0.0", 110},
      {":2110", true, "::", 2110},
      {"[::1]:9", true, "::1", 9},
      {"[::1]", true, "::1", 110},
      {"127.0.0.1:", false, "", 0},
      {"127.0.0.1:70000", false, "", 0},
      {"[::1]x", false, "", 0},
      {"host:12ab", false, "", 0},
  };
  for (const Case& c : cases) {
    Options options;
    const ParseResult result = Parse({"--listen", c.value}, options);
    EXPECT_EQ(result.ok, c.ok) << c.value;
    if (!c.ok) continue;
    EXPECT_EQ(options.listenAddress, c.address) << c.value;
    EXPECT_EQ(options.port, c.port) << c.value;
  }
}

TEST(Options, LimitsAreSetAndCheckedForRange) {
  Options options;
  ASSERT_TRUE(
      Parse({"--max-upload", "1000", "--max-recipients", "3", "--idle-timeout", "5",
             "--max-sessions", "2", "--max-frame", "2048", "--state", "/tmp/s", "--no-quick-ack"},
            options)
          .ok);
  EXPECT_EQ(options.limits.maxUploadBytes, 1000u);
  EXPECT_EQ(options.limits.maxRecipients, 3u);
  EXPECT_EQ(options.limits.idleTimeout, std::chrono::seconds(5));
  EXPECT_EQ(options.limits.maxSessions, 2u);
  EXPECT_EQ(options.limits.maxFramePayload, 2048u);
  EXPECT_EQ(options.stateDir, "/tmp/s");
  EXPECT_FALSE(options.quickAck);

  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--max-frame", "10"},
                                              {"--max-frame", "70000"},
                                              {"--idle-timeout", "0"},
                                              {"--max-recipients", "-1"},
                                              {"--max-upload"},
                                              {"--bogus"},
                                              {"--state", ""}}) {
    Options rejected;
    const ParseResult result = Parse(bad, rejected);
    EXPECT_FALSE(result.ok) << bad[0];
    EXPECT_NE(result.error.find(bad[0]), std::string::npos) << result.error;
  }
}

}  // namespace
}  // namespace murmel::server
