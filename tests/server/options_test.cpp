// The settings murmelpost-server starts with, from its command line, its configuration
// file and its environment, and the refusals that stop it at start with their reasons.
#include "server/options.h"

#include <sys/stat.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace murmel::server {
namespace {

using Fields = std::map<std::string, std::string>;

// Everything a setting can change, by name, so two ways of setting it can be compared.
Fields Settings(const Options& o) {
  const Limits& l = o.limits;
  const auto text = [](const auto& value) {
    std::ostringstream out;
    out << value;
    return out.str();
  };
  return {{"listen", o.listenAddress},
          {"port", text(o.port)},
          {"http", text(o.http)},
          {"httpExplicit", text(o.httpExplicit)},
          {"httpAddress", o.httpAddress},
          {"httpPort", text(o.httpPort)},
          {"publicUrl", o.publicUrl},
          {"state", o.stateDir.string()},
          {"mailFrom", o.mailFrom},
          {"verifySenders", text(o.verifySenders)},
          {"voiceFormat", text(static_cast<int>(o.voiceFormat))},
          {"quickAck", text(o.quickAck)},
          {"logLevel", text(static_cast<int>(o.logLevel))},
          {"smtpUrl", o.smtp.url},
          {"smtpUser", o.smtp.user},
          {"smtpPassword", o.smtp.password},
          {"starttls", text(o.smtp.requireStartTls)},
          {"envelopeFrom", o.smtp.envelopeFrom},
          {"queueLifetime", text(o.maxQueueLifetime.count())},
          {"maxUpload", text(l.maxUploadBytes)},
          {"maxMessage", text(l.maxMessageBytes)},
          {"maxRecipients", text(l.maxRecipients)},
          {"maxFrame", text(l.maxFramePayload)},
          {"maxSessions", text(l.maxSessions)},
          {"idleTimeout", text(l.idleTimeout.count())},
          {"sessionsPerIp", text(l.maxSessionsPerIp)},
          {"messagesPerIp", text(l.maxMessagesPerIp)},
          {"messagesPerSender", text(l.maxMessagesPerSender)},
          {"sessionTime", text(l.maxSessionTime.count())},
          {"database", o.database ? o.database->uri + o.database->file.string() : "-"},
          {"list", text(o.list)},
          {"listCount", text(o.listCount)}};
}

const Environment kEnvironment{"/home/u", "", "", ""};
constexpr char kConfigFile[] = "/etc/murmelpost/server.conf";

// The settings from text read as the configuration file (none when null), then arguments.
Options Start(std::string_view text, const std::vector<std::string>& arguments, std::string& error,
              const Environment& environment = kEnvironment, unsigned mode = 0644) {
  Options options;
  const bool file = text.data() != nullptr;
  auto result = file ? ReadConfigText(std::string(text), kConfigFile, mode, options)
                     : ParseOptions(arguments, environment, options);
  if (result.ok && file) result = ParseOptions(arguments, environment, options);
  error = result.ok ? "" : result.error;
  return options;
}

// One case per way of starting: expect is either "name=value ..." of the settings that
// must result, or "!" and what the refusal must say. No message repeats a password.
struct StartCase {
  std::vector<std::string> arguments;
  const char* expect;
  std::string_view file = {};  // the configuration file's text; none when null
  Environment environment = kEnvironment;
  unsigned mode = 0644;
};

void Check(const StartCase& c) {
  std::string error;
  const Options options = Start(c.file, c.arguments, error, c.environment, c.mode);
  SCOPED_TRACE(std::string(c.file) + " | " +
               (c.arguments.empty() ? "" : c.arguments.front() + " " + c.arguments.back()));
  EXPECT_EQ(error.find("s3cret"), std::string::npos) << error;
  if (c.expect[0] == '!') {
    EXPECT_NE(error.find(c.expect + 1), std::string::npos) << "error: " << error;
    EXPECT_FALSE(error.empty());
    return;
  }
  ASSERT_EQ(error, "");
  const Fields settings = Settings(options);
  std::istringstream expected(c.expect);
  for (std::string pair; expected >> pair;) {
    const std::string name = pair.substr(0, pair.find('='));
    ASSERT_TRUE(settings.contains(name)) << name;
    EXPECT_EQ(name + "=" + settings.at(name), pair);
  }
}

TEST(Options, DefaultsAndWhereStateIsKept) {
  const StartCase cases[] = {
      {{},
       "listen=:: port=110 state=/home/u/.local/state/murmelpost-server http=1 "
       "httpExplicit=0 httpAddress=:: httpPort=8110 publicUrl= smtpUrl= smtpPassword= list=0"},
      {{}, "state=/var/xdg/murmelpost-server", {}, {"/home/u", "/var/xdg", "", ""}},
      {{},
       "state=/var/lib/murmelpost-server",
       {},
       {"/home/u", "/xdg", "/var/lib/murmelpost-server:/var/lib/other", ""}},
      {{}, "!", {}, {"", "", "", ""}},
      // Without a relay user the environment's password is not taken.
      {{}, "smtpPassword=", {}, {"/home/u", "", "", "ignored"}},
  };
  for (const StartCase& c : cases) Check(c);
}

// --listen may name only an address; --http exists to name a port, so it needs one.
TEST(Options, ListenAndHttpAcceptTheirAddressPortForms) {
  const StartCase cases[] = {
      {{"--listen", "127.0.0.1:8110"}, "listen=127.0.0.1 port=8110 httpAddress=127.0.0.1"},
      {{"--listen", ":2110"}, "listen=:: port=2110"},
      {{"--listen", "[::1]:9"}, "listen=::1 port=9"},
      {{"--listen", "[::1]"}, "listen=::1 port=110"},
      {{"--listen", "127.0.0.1:"}, "!--listen"},
      {{"--listen", "127.0.0.1:70000"}, "!--listen"},
      {{"--listen", "[::1]x"}, "!--listen"},
      {{"--listen", "host:12ab"}, "!--listen"},
      {{"--http", "8080"}, "httpAddress=:: httpPort=8080 httpExplicit=1"},
      {{"--http", ":8111"}, "httpAddress=:: httpPort=8111"},
      {{"--http", "127.0.0.1:80"}, "httpAddress=127.0.0.1 httpPort=80"},
      {{"--http", "[::1]:8110"}, "httpAddress=::1 httpPort=8110"},
      // The pages' address follows --listen wherever it stands on the line.
      {{"--http", "9000", "--listen", "127.0.0.1:2110"}, "httpAddress=127.0.0.1 httpPort=9000"},
      {{"--no-http"}, "http=0"},
      {{"--http", "127.0.0.1"}, "!--http"},
      {{"--http", "::1:8110"}, "!--http"},  // ambiguous without brackets
      {{"--http", "65536"}, "!--http"},
  };
  for (const StartCase& c : cases) Check(c);
}

TEST(Options, LimitsRelayAndServiceSettingsAreTakenOrRefusedByName) {
  const StartCase cases[] = {
      {{"--max-upload", "1000", "--max-recipients", "3", "--idle-timeout", "5", "--max-sessions",
        "2", "--max-frame", "2048", "--state", "/tmp/s", "--no-quick-ack"},
       "maxUpload=1000 maxRecipients=3 idleTimeout=5 maxSessions=2 maxFrame=2048 state=/tmp/s "
       "quickAck=0"},
      {{"--max-session-time", "90"}, "sessionTime=90000"},
      {{"--public-url", "https://mail.example.org/murmel"},
       "publicUrl=https://mail.example.org/murmel"},
      {{"--smtp-relay", "SMTP://mail.example.org:587", "--smtp-starttls", "--smtp-user", "murmel"},
       "smtpUrl=smtp://mail.example.org:587/ starttls=1 smtpUser=murmel smtpPassword=s3cret "
       "verifySenders=1",
       {},
       {"/home/u", "", "", "s3cret"}},
      {{"--smtp-envelope-from", "bounces@example.org", "--smtp-relay", "smtps://[::1]:465"},
       "envelopeFrom=bounces@example.org smtpUser="},
      {{"--mail-from", "voice@Mail.Example.org", "--no-sender-verification", "--voice-format",
        "both"},
       "mailFrom=voice@mail.example.org verifySenders=0 "
       "voiceFormat=2"},
      // The count is optional, so what follows --list is taken only when it is not an option.
      {{"--list"}, "list=1 listCount=20"},
      {{"--list", "5"}, "list=1 listCount=5"},
      {{"--list", "--state", "/srv/m"}, "list=1 listCount=20 state=/srv/m"},
      {{"--state", "/srv/m", "--list", "1000000"}, "list=1 listCount=1000000"},
      // The confirmation links mean nothing without the pages.
      {{"--public-url", "mail.example.org"}, "!--public-url"},
      {{"--public-url", "http://mail.example.org", "--no-http"}, "!--public-url"},
      {{"--no-http", "--public-url", "http://mail.example.org"}, "!--public-url"},
      {{"--max-frame", "10"}, "!--max-frame"},
      {{"--max-frame", "70000"}, "!--max-frame"},
      {{"--idle-timeout", "0"}, "!--idle-timeout"},
      {{"--max-messages-per-sender", "ten"}, "!--max-messages-per-sender"},
      {{"--bogus"}, "!--bogus"},
      {{"--state", ""}, "!--state"},
      {{"--smtp-relay", "mx.example.org"}, "!--smtp-relay"},
      {{"--smtp-relay", "smtp://mx:0"}, "!--smtp-relay"},
      {{"--smtp-relay", "smtp://mx/?x"}, "!--smtp-relay"},
      // The relay's password comes from the environment or the file, never the line.
      {{"--smtp-relay", "smtp://me:s3cret@mx"}, "!MURMELPOST_SMTP_PASSWORD"},
      {{"--smtp-relay", "smtp://mx", "--smtp-user", "me"}, "!MURMELPOST_SMTP_PASSWORD"},
      {{"--smtp-relay", "smtp://mx", "--smtp-user", ""},
       "!--smtp-user",
       {},
       {"/home/u", "", "", "pw"}},
      {{"--smtp-relay", "smtps://mx", "--smtp-starttls"}, "!--smtp-starttls"},
      {{"--smtp-relay", "smtp://mx", "--smtp-envelope-from", "nobody"}, "!--smtp-envelope-from"},
      {{"--smtp-user", "me"}, "!--smtp-user", {}, {"/home/u", "", "", "pw"}},
      // It goes into every From header: nothing but a plain mailbox.
      {{"--mail-from", "mp@example.org\r\nBcc: x@example.org"}, "!--mail-from"},
      {{"--voice-format", "MP3"}, "!--voice-format"},
      {{"--database", "mysql://mp:s3cret@db/m"}, "!--database"},
      {{"--database", "postgresql://mp:s3cret@db/m\n"}, "!--database"},
      {{"--database", "host=db password=s3cret"}, "!--database"},
      {{"--list", "0"}, "!--list"},
      {{"--list", "1000001"}, "!--list"},
  };
  for (const StartCase& c : cases) Check(c);
  std::string error;
  const Options relay = Start({}, {"--smtp-relay", "smtp://mx"}, error);
  // Bounces go to the service's own address unless told otherwise.
  EXPECT_TRUE(relay.mailFrom.starts_with("murmelpost@")) << relay.mailFrom;
  EXPECT_EQ(relay.smtp.envelopeFrom, relay.mailFrom);
}

// The file: comments, blanks and CR ignored; the command line wins over it, and the
// environment over its password. Start-up stops at the first bad line, naming the file,
// the line and what is wrong.
TEST(Options, ConfigFileSetsWhatTheLineDoesNotAndRefusesBadLines) {
  const std::string secret = "smtp-relay = smtp://mx\nsmtp-user = u\nsmtp-password = fromfile\n";
  const StartCase cases[] = {
      {{"--max-sessions", "9", "--http", "8111"},
       "listen=127.0.0.1 port=2110 maxSessions=9 http=1 httpPort=8111",
       "# a comment\n\n  listen = 127.0.0.1:2110  \r\nmax-sessions=5\nno-http\n"},
      {{}, "smtpPassword=fromfile", secret.c_str(), kEnvironment, 0600},
      {{}, "smtpPassword=fromenv", secret.c_str(), {"/home/u", "", "", "fromenv"}, 0640},
      {{}, "!server.conf:1: unknown setting bogus", "bogus = 1"},
      {{}, "!server.conf:2: max-frame expects a number from 64", "# ok\nmax-frame = 10"},
      {{}, "!server.conf:1: no-http takes no value", "no-http = yes"},
      {{}, "!server.conf:3: listen needs a value", "\n\nlisten"},
      {{}, "!server.conf:1: expected NAME = VALUE", "--listen = ::1"},
      {{}, "!server.conf:1: expected NAME = VALUE", "Listen = ::1"},
      {{}, "!server.conf:1: config is a command-line option", "config = /etc/other.conf"},
      {{}, "!server.conf:1: list is a command-line option", "list"},
      {{}, "!control character", "mail-from = a@b\x1b[2J"},
      {{}, "!control character", std::string_view("state = /srv\0/x", 15)},
      {{}, "!server.conf:1: voice-format expects mp3, wav or both", "voice-format = ogg"},
      {{},
       "!server.conf:1: the file holds smtp-password but others may read",
       "smtp-password = s3cret"},
      {{}, "!others may read", "smtp-password = pw", kEnvironment, 0620},
      {{}, "!server.conf:1: smtp-password needs a value", "smtp-password =", kEnvironment, 0600},
  };
  for (const StartCase& c : cases) Check(c);
}

// Every option that --help lists is a setting of the same name, with the same effect:
// an option added to the line but not to the file fails here.
TEST(Options, EveryOptionOfTheCommandLineIsASettingByTheSameName) {
  std::map<std::string, std::string> sample;
  std::istringstream samples(
      "listen 127.0.0.1:2110 state /srv/murmel database postgresql://db/murmel http 9000 "
      "public-url https://voice.example.org smtp-relay smtps://mx2.example smtp-user murmel "
      "smtp-envelope-from b@example.org mail-from v@example.org voice-format both "
      "log-level debug max-frame 100");
  for (std::string name, value; samples >> name >> value;) sample[name] = value;
  const std::set<std::string> commandLineOnly = {"config", "list", "help", "version"};
  // The relay's own options need a relay; its user needs a password.
  const std::vector<std::string> relay = {"--smtp-relay", "smtp://mx.example"};
  const Environment environment{"/home/u", "", "", "pw"};
  std::string error;
  const Fields plain = Settings(Start({}, relay, error, environment));

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
    const Fields byLine = Settings(Start({}, line, error, environment));
    ASSERT_EQ(error, "") << name;
    const std::string text =
        "smtp-relay = smtp://mx.example\n" + name + (valued ? " = " + value : "");
    const Fields byFile = Settings(Start(text.c_str(), {}, error, environment));
    ASSERT_EQ(error, "") << name;
    EXPECT_EQ(byFile, byLine) << name;
    EXPECT_NE(byLine, plain) << name << " changed nothing";
    ++checked;
  }
  EXPECT_GE(checked, 25);
}

// A database password may sit in the URI: no message ever repeats it.
TEST(Options, DatabaseTakesTwoFormsAndRedactsAPassword) {
  const std::pair<const char*, const char*> accepted[] = {
      {"sqlite:/srv/m/catalogue.sqlite3", "sqlite:/srv/m/catalogue.sqlite3"},
      {"postgresql://mp:s3cret@db:5433/murmel", "postgresql://mp:***@db:5433/murmel"},
      {"postgres://mp@db/m?sslmode=require&password=s3cret",
       "postgres://mp@db/m?sslmode=require&password=***"},
      {"postgresql:///m?host=/run/pg&user=a@b", "postgresql:///m?host=/run/pg&user=a@b"},
  };
  for (const auto& [given, redacted] : accepted) {
    Check({{"--database", given}, "list=0"});
    EXPECT_EQ(RedactedLocation(given), redacted);
  }
}

// Only a file that was asked for must exist; anything but a readable regular file fails.
TEST(Options, ConfigFileMustExistOnlyWhenNamed) {
  murmel::test::TempDir dir;
  const std::string file = dir / "server.conf";
  Options absent;
  EXPECT_TRUE(ReadConfigFile(file, false, absent).ok);
  EXPECT_FALSE(ReadConfigFile(file, true, absent).ok);
  EXPECT_FALSE(ReadConfigFile(dir.path(), true, absent).ok);
  std::ofstream(file) << "smtp-password = pw\n";
  ::chmod(file.c_str(), 0604);
  Options open;
  EXPECT_NE(ReadConfigFile(file, true, open).error.find(file + ":1: "), std::string::npos);
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
