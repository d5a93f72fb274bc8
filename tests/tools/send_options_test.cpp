#include "tools/murmelpost_send/send_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using murmel::send_tool::ParseSendOptions;
using murmel::send_tool::SendMode;
using murmel::send_tool::SendOptions;

std::vector<std::string> With(std::vector<std::string> extra) {
  std::vector<std::string> arguments = {"--server",      "mail.example.org", "--from",
                                        "a@example.org", "--name",           "Ann Example"};
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  return arguments;
}

TEST(SendOptions, ServerEndpointForms) {
  struct Case {
    std::string server;
    std::string host;
    int port;
  };
  const Case cases[] = {
      {"localhost", "localhost", 0},
      {"127.0.0.1:2110", "127.0.0.1", 2110},
      {"mail.example.org:65535", "mail.example.org", 65535},
  };
  for (const Case& c : cases) {
    SendOptions options;
    std::vector<std::string> arguments = With({"--to", "b@example.org"});
    arguments[1] = c.server;
    const auto result = ParseSendOptions(arguments, options);
    EXPECT_TRUE(result.ok) << c.server << ": " << result.error;
    EXPECT_EQ(options.host, c.host) << c.server;
    EXPECT_EQ(options.port, c.port) << c.server;
  }
}

TEST(SendOptions, RefusesMalformedCommandLines) {
  const std::vector<std::vector<std::string>> cases = {
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
  for (const auto& arguments : cases) {
    SendOptions options;
    const auto result = ParseSendOptions(arguments, options);
    std::string line;
    for (const auto& a : arguments) line += a + " ";
    EXPECT_FALSE(result.ok) << line;
    EXPECT_FALSE(result.error.empty()) << line;
  }
  // The connection is IPv4 only: an IPv6 address in any form is refused.
  const std::vector<std::string> badServers = {
      "", ":110", "host:", "host:0", "host:65536", "host:11x", "::1", "[::1]:110", "[fe80::1]"};
  for (const auto& server : badServers) {
    SendOptions options;
    auto arguments = With({"--to", "b@x.org"});
    arguments[1] = server;
    EXPECT_FALSE(ParseSendOptions(arguments, options).ok) << "'" << server << "'";
  }
}

TEST(SendOptions, MessageAndPictureModes) {
  SendOptions message;
  ASSERT_TRUE(ParseSendOptions(With({"--to=b@x.org c@y.org", "--subject", "Hi", "--text=",
                                     "--title", "Ms.", "--voice", "v.flac", "--attach", "f.txt"}),
                               message)
                  .ok);
  EXPECT_EQ(message.mode, SendMode::Message);
  EXPECT_EQ(message.to, "b@x.org c@y.org");  // normalised later, by the client's own check
  EXPECT_EQ(message.subject, "Hi");
  EXPECT_EQ(message.text, "");
  EXPECT_EQ(message.title, "Ms.");
  EXPECT_EQ(message.voice, "v.flac");
  EXPECT_EQ(message.attach, "f.txt");
  EXPECT_FALSE(message.picture.has_value());

  SendOptions picture;
  ASSERT_TRUE(ParseSendOptions(With({"--picture", "me.jpg"}), picture).ok);
  EXPECT_EQ(picture.mode, SendMode::RegisterPicture);
  EXPECT_EQ(picture.picture, "me.jpg");
  EXPECT_EQ(picture.title, "Mr.");

  SendOptions clear;
  ASSERT_TRUE(ParseSendOptions(With({"--clear-picture"}), clear).ok);
  EXPECT_EQ(clear.mode, SendMode::ClearPicture);

  SendOptions help;
  ASSERT_TRUE(ParseSendOptions({"--help"}, help).ok);
  EXPECT_TRUE(help.help);
}

}  // namespace
