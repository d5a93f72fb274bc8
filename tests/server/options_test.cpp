#include "server/options.h"

#include <gtest/gtest.h>

namespace murmel::server {
namespace {

Result Parse(const std::vector<std::string>& arguments, Options& options,
             const std::string& home = "/home/u", const std::string& state = "",
             const std::string& password = "") {
  return ParseOptions(arguments, {home, state, "", password}, options);
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

TEST(Options, HelpPagesDefaultToPort8110OnTheTransferAddress) {
  Options options;
  ASSERT_TRUE(Parse({}, options).ok);
  EXPECT_TRUE(options.http);
  EXPECT_FALSE(options.httpExplicit);
  EXPECT_EQ(options.httpAddress, "::");
  EXPECT_EQ(options.httpPort, 8110);
  // The address follows --listen wherever it stands on the line.
  Options after;
  ASSERT_TRUE(Parse({"--http", "9000", "--listen", "127.0.0.1:2110"}, after).ok);
  EXPECT_EQ(after.httpAddress, "127.0.0.1");
  EXPECT_EQ(after.httpPort, 9000);
  EXPECT_TRUE(after.httpExplicit);
  Options off;
  ASSERT_TRUE(Parse({"--no-http"}, off).ok);
  EXPECT_FALSE(off.http);
}

// --listen may name only an address; --http exists to name a port, so it needs one.
TEST(Options, ListenAndHttpAcceptTheirAddressPortForms) {
  struct Case {
    const char* option;
    const char* value;
    bool ok;
    const char* address;
    int port;
  };
  const Case cases[] = {
      {"--listen", "127.0.0.1:8110", true, "127.0.0.1", 8110},
      {"--listen", "0.0.0.0", true, "0.0.0.0", 110},
      {"--listen", ":2110", true, "::", 2110},
      {"--listen", "[::1]:9", true, "::1", 9},
      {"--listen", "[::1]", true, "::1", 110},
      {"--listen", "127.0.0.1:", false, "", 0},
      {"--listen", "127.0.0.1:70000", false, "", 0},
      {"--listen", "[::1]x", false, "", 0},
      {"--listen", "host:12ab", false, "", 0},
      {"--http", "8080", true, "::", 8080},
      {"--http", "0", true, "::", 0},
      {"--http", ":8111", true, "::", 8111},
      {"--http", "127.0.0.1:80", true, "127.0.0.1", 80},
      {"--http", "[::1]:8110", true, "::1", 8110},
      {"--http", "127.0.0.1", false, "", 0},
      {"--http", "[::1]", false, "", 0},
      {"--http", "::1:8110", false, "", 0},  // ambiguous without brackets
      {"--http", "65536", false, "", 0},
      {"--http", "-1", false, "", 0},
      {"--http", "", false, "", 0},
  };
  for (const Case& c : cases) {
    Options options;
    const Result result = Parse({c.option, c.value}, options);
    EXPECT_EQ(result.ok, c.ok) << c.option << " " << c.value;
    if (!c.ok) {
      EXPECT_NE(result.error.find(c.option), std::string::npos) << result.error;
      continue;
    }
    const bool http = std::string(c.option) == "--http";
    EXPECT_EQ(http ? options.httpAddress : options.listenAddress, c.address) << c.value;
    EXPECT_EQ(http ? options.httpPort : options.port, c.port) << c.value;
  }
}

// The address users open from the confirmation e-mail; it means nothing without the pages.
TEST(Options, PublicUrlIsAnHttpAddressAndNeedsTheHttpPages) {
  Options options;
  ASSERT_TRUE(Parse({"--public-url", "https://mail.example.org/murmel"}, options).ok);
  EXPECT_EQ(options.publicUrl, "https://mail.example.org/murmel");
  Options unset;
  ASSERT_TRUE(Parse({}, unset).ok);
  EXPECT_EQ(unset.publicUrl, "");
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

  struct Fair {
    const char* option;
    const char* value;
    std::uint64_t expected;
    std::uint64_t (*read)(const Limits&);
  };
  const Fair fair[] = {
      {"--max-sessions-per-ip", "4", 4,
       [](const Limits& l) -> std::uint64_t { return l.maxSessionsPerIp; }},
      {"--max-messages-per-ip", "50", 50,
       [](const Limits& l) -> std::uint64_t { return l.maxMessagesPerIp; }},
      {"--max-messages-per-sender", "6", 6,
       [](const Limits& l) -> std::uint64_t { return l.maxMessagesPerSender; }},
      {"--max-session-time", "90", 90000,
       [](const Limits& l) -> std::uint64_t { return l.maxSessionTime.count(); }},
  };
  for (const Fair& f : fair) {
    Options set;
    ASSERT_TRUE(Parse({f.option, f.value}, set).ok) << f.option;
    EXPECT_EQ(f.read(set.limits), f.expected) << f.option;
  }
}

TEST(Options, SmtpRelayIsOffUntilAUrlIsGiven) {
  Options plain;
  ASSERT_TRUE(Parse({}, plain, "/home/u", "", "ignored without a user").ok);
  EXPECT_TRUE(plain.smtp.url.empty());
  EXPECT_TRUE(plain.smtp.password.empty());

  Options relay;
  ASSERT_TRUE(Parse({"--smtp-relay", "SMTP://mail.example.org:587", "--smtp-starttls",
                     "--smtp-user", "murmel"},
                    relay, "/home/u", "", "s3cret")
                  .ok);
  EXPECT_EQ(relay.smtp.url.rfind("smtp://mail.example.org:587", 0), 0u) << relay.smtp.url;
  EXPECT_TRUE(relay.smtp.requireStartTls);
  EXPECT_EQ(relay.smtp.user, "murmel");
  EXPECT_EQ(relay.smtp.password, "s3cret");
  // Bounces go to the service's own address unless told otherwise.
  EXPECT_EQ(relay.smtp.envelopeFrom, relay.mailFrom);
  EXPECT_TRUE(relay.mailFrom.starts_with("murmelpost@")) << relay.mailFrom;
  EXPECT_TRUE(relay.verifySenders);

  Options bounce;
  ASSERT_TRUE(
      Parse({"--smtp-envelope-from", "bounces@example.org", "--smtp-relay", "smtps://[::1]:465"},
            bounce)
          .ok);
  EXPECT_EQ(bounce.smtp.envelopeFrom, "bounces@example.org");
  EXPECT_TRUE(bounce.smtp.user.empty());

  Options service;
  ASSERT_TRUE(Parse({"--mail-from", "voice@Mail.Example.org", "--no-sender-verification",
                     "--voice-format", "both"},
                    service)
                  .ok);
  EXPECT_EQ(service.mailFrom, "voice@mail.example.org");
  EXPECT_FALSE(service.verifySenders);
  EXPECT_EQ(service.voiceFormat, VoiceFormat::Both);
}

// Each refusal names the option at fault and, for the relay's password, where it must come
// from; a database password in a refused URI is never repeated.
TEST(Options, RefusalsNameTheOptionAtFault) {
  struct Case {
    std::vector<std::string> arguments;
    const char* named;
    const char* password = "";
  };
  const Case cases[] = {
      {{"--public-url", "mail.example.org"}, "--public-url"},
      {{"--public-url", "ftp://mail.example.org"}, "--public-url"},
      {{"--public-url"}, "--public-url"},
      {{"--public-url", "http://mail.example.org", "--no-http"}, "--public-url"},
      {{"--no-http", "--public-url", "http://mail.example.org"}, "--public-url"},
      {{"--max-frame", "10"}, "--max-frame"},
      {{"--max-frame", "70000"}, "--max-frame"},
      {{"--idle-timeout", "0"}, "--idle-timeout"},
      {{"--max-session-time", "0"}, "--max-session-time"},
      {{"--max-sessions-per-ip", "0"}, "--max-sessions-per-ip"},
      {{"--max-messages-per-sender", "ten"}, "--max-messages-per-sender"},
      {{"--max-recipients", "-1"}, "--max-recipients"},
      {{"--max-upload"}, "--max-upload"},
      {{"--bogus"}, "--bogus"},
      {{"--state", ""}, "--state"},
      {{"--smtp-relay", "mx.example.org"}, "--smtp-relay"},
      {{"--smtp-relay", "http://mx"}, "--smtp-relay"},
      {{"--smtp-relay", "smtp://mx:0"}, "--smtp-relay"},
      {{"--smtp-relay", "smtp://mx/?x"}, "--smtp-relay"},
      {{"--smtp-relay", "smtp://me:pw@mx"}, "MURMELPOST_SMTP_PASSWORD"},
      {{"--smtp-relay", "smtp://mx", "--smtp-user", "me"}, "MURMELPOST_SMTP_PASSWORD"},
      {{"--smtp-relay", "smtp://mx", "--smtp-user", ""}, "--smtp-user", "pw"},
      {{"--smtp-relay", "smtps://mx", "--smtp-starttls"}, "--smtp-starttls"},
      {{"--smtp-relay", "smtp://mx", "--smtp-envelope-from", "nobody"}, "--smtp-envelope-from"},
      {{"--smtp-relay", "smtp://mx", "--smtp-envelope-from", "<a@mx>"}, "--smtp-envelope-from"},
      {{"--smtp-user", "me"}, "--smtp-user", "pw"},
      {{"--smtp-starttls"}, "--smtp-starttls"},
      {{"--smtp-relay"}, "--smtp-relay"},
      // It goes into every From header: nothing but a plain mailbox.
      {{"--mail-from", "Murmelpost <mp@example.org>"}, "--mail-from"},
      {{"--mail-from", "mp@example.org\r\nBcc: x@example.org"}, "--mail-from"},
      {{"--voice-format", "MP3"}, "--voice-format"},
      {{"--database", "sqlite:"}, "--database"},
      {{"--database", "mysql://mp:s3cret@db/m"}, "--database"},
      {{"--database", "/srv/m/catalogue.sqlite3"}, "--database"},
      {{"--database", "postgresql://mp:s3cret@db/m\n"}, "--database"},
      {{"--database", "host=db password=s3cret"}, "--database"},
      {{"--list", "0"}, "--list"},
      {{"--list", "-1"}, "--list"},
      {{"--list", "ten"}, "--list"},
      {{"--list", "1000001"}, "--list"},
  };
  for (const Case& c : cases) {
    Options options;
    const Result result = Parse(c.arguments, options, "/home/u", "", c.password);
    EXPECT_FALSE(result.ok) << c.arguments.back();
    EXPECT_NE(result.error.find(c.named), std::string::npos) << result.error;
    EXPECT_EQ(result.error.find("s3cret"), std::string::npos) << result.error;
  }
}

// A database password may sit in the URI: no message ever repeats it.
TEST(Options, DatabaseTakesTwoFormsAndRedactsAPassword) {
  const std::pair<const char*, const char*> accepted[] = {
      {"sqlite:/srv/m/catalogue.sqlite3", "sqlite:/srv/m/catalogue.sqlite3"},
      {"postgresql://db.example/murmel", "postgresql://db.example/murmel"},
      {"postgresql://mp:s3cret@db:5433/murmel", "postgresql://mp:***@db:5433/murmel"},
      {"postgres://mp@db/m?sslmode=require&password=s3cret",
       "postgres://mp@db/m?sslmode=require&password=***"},
      {"postgresql:///m?host=/run/pg&user=a@b", "postgresql:///m?host=/run/pg&user=a@b"},
  };
  for (const auto& [given, redacted] : accepted) {
    Options options;
    const Result result = Parse({"--database", given}, options, "/home/u", "", "");
    ASSERT_TRUE(result.ok && options.database) << given << ": " << result.error;
    EXPECT_EQ(RedactedLocation(given), redacted);
  }
}

// The count is optional, so what follows --list is taken only when it is not an option.
TEST(Options, ListTakesAnOptionalCountOfNewestMessages) {
  const std::pair<std::vector<std::string>, std::uint64_t> cases[] = {
      {{"--list"}, 20},
      {{"--list", "5"}, 5},
      {{"--list", "--state", "/srv/m"}, 20},
      {{"--state", "/srv/m", "--list", "1000000"}, 1000000},
  };
  for (const auto& [arguments, count] : cases) {
    Options options;
    ASSERT_TRUE(Parse(arguments, options).ok) << arguments.back();
    EXPECT_TRUE(options.list);
    EXPECT_EQ(options.listCount, count);
  }
  Options serving;
  ASSERT_TRUE(Parse({}, serving).ok);
  EXPECT_FALSE(serving.list);
}

}  // namespace
}  // namespace murmel::server
