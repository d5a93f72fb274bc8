#include <sys/stat.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "server/options.h"
#include "support/temp_dir.h"

namespace murmel::server {
namespace {

const Environment kEnvironment{"/home/u", "", "", ""};

// Everything a setting can change, as text, so two ways of setting it can be compared.
std::string Settings(const Options& o) {
  std::ostringstream out;
  const Limits& l = o.limits;
  out << o.listenAddress << ' ' << o.port << ' ' << o.http << o.httpExplicit << ' ' << o.httpAddress
      << ' ' << o.httpPort << ' ' << o.publicUrl << ' ' << o.stateDir << ' ' << o.mailFrom << ' '
      << o.verifySenders << ' ' << static_cast<int>(o.voiceFormat) << ' ' << o.quickAck << ' '
      << static_cast<int>(o.logLevel) << ' ' << o.smtp.url << ' ' << o.smtp.user << ' '
      << o.smtp.password << ' ' << o.smtp.requireStartTls << ' ' << o.smtp.envelopeFrom << ' '
      << o.maxQueueLifetime.count() << ' ' << l.maxUploadBytes << ' ' << l.maxMessageBytes << ' '
      << l.maxRecipients << ' ' << l.maxFramePayload << ' ' << l.maxSessions << ' '
      << l.idleTimeout.count() << ' ' << l.maxSessionsPerIp << ' ' << l.maxMessagesPerIp << ' '
      << l.maxMessagesPerSender << ' ' << l.maxSessionTime.count() << ' '
      << (o.database ? o.database->uri + o.database->file.string() : "-");
  return out.str();
}

Result FromFile(const std::string& text, const std::vector<std::string>& arguments,
                Options& options, unsigned mode = 0644,
                const Environment& environment = kEnvironment) {
  Result read = ReadConfigText(text, "/etc/murmelpost/server.conf", mode, options);
  return read.ok ? ParseOptions(arguments, environment, options) : read;
}

// Every option that --help lists is a setting of the same name, with the same effect:
// an option added to the line but not to the file fails here.
TEST(ConfigFile, EveryOptionOfTheCommandLineIsASettingByTheSameName) {
  const std::map<std::string, std::string> sample = {{"listen", "127.0.0.1:2110"},
                                                     {"state", "/srv/murmel"},
                                                     {"database", "postgresql://db/murmel"},
                                                     {"http", "9000"},
                                                     {"public-url", "https://voice.example.org"},
                                                     {"smtp-relay", "smtps://mx2.example"},
                                                     {"smtp-user", "murmel"},
                                                     {"smtp-envelope-from", "b@example.org"},
                                                     {"mail-from", "v@example.org"},
                                                     {"voice-format", "both"},
                                                     {"log-level", "debug"},
                                                     {"max-frame", "100"}};
  const std::set<std::string> commandLineOnly = {"config", "list", "help", "version"};
  // The relay's own options need a relay; its user needs a password.
  const std::vector<std::string> relay = {"--smtp-relay", "smtp://mx.example"};
  const Environment environment{"/home/u", "", "", "pw"};

  const std::string usage = UsageText();
  const std::regex option(R"(\n  --([a-z-]+)( [A-Z\[])?)");
  int checked = 0;
  for (std::sregex_iterator it(usage.begin(), usage.end(), option), end; it != end; ++it) {
    const std::string name = (*it)[1];
    if (commandLineOnly.contains(name)) continue;
    const bool valued = (*it)[2].matched;
    const std::string value = sample.contains(name) ? sample.at(name) : "7";
    std::vector<std::string> line = relay;
    line.push_back("--" + name);
    if (valued) line.push_back(value);
    Options byLine, byFile;
    const Result parsedLine = ParseOptions(line, environment, byLine);
    const Result parsedFile =
        FromFile("smtp-relay = smtp://mx.example\n" + name + (valued ? " = " + value : ""), {},
                 byFile, 0644, environment);
    ASSERT_TRUE(parsedLine.ok) << name << ": " << parsedLine.error;
    ASSERT_TRUE(parsedFile.ok) << name << ": " << parsedFile.error;
    EXPECT_EQ(Settings(byFile), Settings(byLine)) << name;
    EXPECT_NE(Settings(byLine), Settings([&] {
                Options plain;
                ParseOptions(relay, environment, plain);
                return plain;
              }()))
        << name << " changed nothing";
    ++checked;
  }
  EXPECT_GE(checked, 25);
}

TEST(ConfigFile, CommandLineWinsOverTheFileAndTheEnvironmentOverItsPassword) {
  Options options;
  ASSERT_TRUE(FromFile("# a comment\n\n  listen = 127.0.0.1:2110  \r\nmax-sessions=5\nno-http\n",
                       {"--max-sessions", "9", "--http", "8111"}, options)
                  .ok);
  EXPECT_EQ(options.listenAddress, "127.0.0.1");
  EXPECT_EQ(options.port, 2110);
  EXPECT_EQ(options.limits.maxSessions, 9u);
  EXPECT_TRUE(options.http);
  EXPECT_EQ(options.httpPort, 8111);

  const std::string secret = "smtp-relay = smtp://mx\nsmtp-user = u\nsmtp-password = from file\n";
  Options fromFile, fromEnvironment;
  ASSERT_TRUE(FromFile(secret, {}, fromFile, 0600).ok);
  EXPECT_EQ(fromFile.smtp.password, "from file");
  ASSERT_TRUE(FromFile(secret, {}, fromEnvironment, 0640, {"/home/u", "", "", "from env"}).ok);
  EXPECT_EQ(fromEnvironment.smtp.password, "from env");
}

TEST(ConfigFile, StateFolderDefaultsToTheServiceManagersFirst) {
  Options options;
  ASSERT_TRUE(ParseOptions({}, {"/home/u", "/xdg", "/var/lib/murmelpost-server:/var/lib/other", ""},
                           options)
                  .ok);
  EXPECT_EQ(options.stateDir, "/var/lib/murmelpost-server");
}

// Start-up stops at the first bad line, naming the file, the line and what is wrong.
TEST(ConfigFile, BadLinesStopStartUpWithFileLineAndReason) {
  struct Case {
    std::string text;
    unsigned mode;
    int line;
    const char* reason;
  };
  const Case cases[] = {
      {"bogus = 1", 0644, 1, "unknown setting bogus"},
      {"# ok\nmax-frame = 10", 0644, 2, "max-frame expects a number from 64"},
      {"no-http = yes", 0644, 1, "no-http takes no value"},
      {"\n\nlisten", 0644, 3, "listen needs a value"},
      {"--listen = ::1", 0644, 1, "expected NAME = VALUE"},
      {"Listen = ::1", 0644, 1, "expected NAME = VALUE"},
      {"= 5", 0644, 1, "expected NAME = VALUE"},
      {"config = /etc/other.conf", 0644, 1, "config is a command-line option"},
      {"list", 0644, 1, "list is a command-line option"},
      {"mail-from = a@b\x1b[2J", 0644, 1, "control character"},
      {std::string("state = /srv\0/x", 15), 0644, 1, "control character"},
      {"voice-format = ogg", 0644, 1, "voice-format expects mp3, wav or both"},
      {"log-level = loud", 0644, 1, "log-level expects"},
      {"smtp-password = pw", 0644, 1, "others may read"},
      {"smtp-password = pw", 0620, 1, "others may read"},
      {"smtp-password =", 0600, 1, "smtp-password needs a value"},
  };
  for (const Case& c : cases) {
    Options options;
    const Result result = FromFile(c.text, {}, options, c.mode);
    EXPECT_FALSE(result.ok) << c.text;
    EXPECT_TRUE(
        result.error.starts_with("/etc/murmelpost/server.conf:" + std::to_string(c.line) + ": "))
        << result.error;
    EXPECT_NE(result.error.find(c.reason), std::string::npos) << result.error;
  }
}

// Only a file that was asked for must exist; anything but a readable regular file fails.
TEST(ConfigFile, FileMustExistOnlyWhenNamed) {
  murmel::test::TempDir dir;
  const std::string file = dir / "server.conf";
  Options absent;
  EXPECT_TRUE(ReadConfigFile(file, false, absent).ok);
  EXPECT_FALSE(ReadConfigFile(file, true, absent).ok);
  EXPECT_FALSE(ReadConfigFile(dir.path(), true, absent).ok);
  std::ofstream(file) << "smtp-password = pw\n";
  ::chmod(file.c_str(), 0604);
  Options open;
  const Result refused = ReadConfigFile(file, true, open);
  EXPECT_NE(refused.error.find(file + ":1: "), std::string::npos) << refused.error;
  ::chmod(file.c_str(), 0600);
  Options closed;
  ASSERT_TRUE(ReadConfigFile(file, false, closed).ok);
  EXPECT_EQ(closed.smtp.password, "pw");

  std::filesystem::path named;
  bool explicitlyNamed = false;
  ASSERT_TRUE(ConfigFileOf({"--listen", ":2110", "--config", file}, named, explicitlyNamed).ok);
  EXPECT_EQ(named, file);
  EXPECT_TRUE(explicitlyNamed);
  ASSERT_TRUE(ConfigFileOf({}, named, explicitlyNamed).ok);
  EXPECT_EQ(named, kDefaultConfigFile);
  EXPECT_FALSE(explicitlyNamed);
}

}  // namespace
}  // namespace murmel::server
