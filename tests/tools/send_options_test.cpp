#include "tools/murmelpost_send/send_options.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using murmel::send_tool::ParseSendOptions;
using murmel::send_tool::SendMode;
using murmel::send_tool::SendOptions;

std::vector<std::string> With(std::vector<std::string> extra, std::string server = "mail.x.org") {
  std::vector<std::string> arguments = {"--server",      std::move(server), "--from",
                                        "a@example.org", "--name",          "Ann Example"};
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  return arguments;
}

TEST(SendOptions, AcceptsEachModeAndServerForm) {
  const struct {
    std::vector<std::string> arguments;
    SendMode mode;
    std::string host;
    int port;
  } cases[] = {
      {With({"--to", "b@x.org"}, "localhost"), SendMode::Message, "localhost", 0},
      {With({"--picture", "me.jpg"}, "mail.x.org:65535"), SendMode::RegisterPicture, "mail.x.org",
       65535},
      {With({"--clear-picture"}), SendMode::ClearPicture, "mail.x.org", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    SendOptions options;
    const auto result = ParseSendOptions(c.arguments, options);
    EXPECT_TRUE(result.ok) << result.error;
    EXPECT_EQ(options.mode, c.mode);
    EXPECT_EQ(options.host, c.host);
    EXPECT_EQ(options.port, c.port);
    EXPECT_EQ(options.title, "Mr.");  // the profile's default
  }
}

TEST(SendOptions, RefusesMalformedCommandLines) {
  std::vector<std::vector<std::string>> cases = {
      {},                                                             // nothing at all
      {"--from", "a@example.org", "--name", "A", "--to", "b@x.org"},  // no server
      With({}),                                                       // message without --to
      With({"--to"}),                                                 // option without value
      With({"--to", "b@x.org", "--bcc", "c@x.org"}),                  // unknown option
      With({"--to", "b@x.org", "--title", "Dr."}),                    // title not in the profile
      With({"--to", "b@x.org", "--attach", ""}),                      // empty file name
      With({"--picture", "p.gif", "--clear-picture"}),                // two picture modes
      With({"--picture", "p.gif", "--to", "b@x.org"}),                // picture with message parts
      With({"--clear-picture", "--voice", "v.wav"}),
      With({"--clear-picture=yes"}),
  };
  // The connection is IPv4 only: an IPv6 address in any form is refused.
  for (const char* server :
       {"", ":110", "host:", "host:0", "host:65536", "host:11x", "::1", "[::1]:110", "[fe80::1]"}) {
    cases.push_back(With({"--to", "b@x.org"}, server));
  }
  for (const auto& arguments : cases) {
    SendOptions options;
    const auto result = ParseSendOptions(arguments, options);
    EXPECT_FALSE(result.ok || result.error.empty()) << testing::PrintToString(arguments);
  }
}

}  // namespace
