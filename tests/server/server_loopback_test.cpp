// A real server on loopback, driven by a scripted client: the whole dialogue and the e-mail,
// row and relay envelope that come of it, refusals that cost only their own connection,
// durability, and the server as its own process short of descriptors.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "audio/wav_header.h"
#include "fake_smtp.h"
#include "mail_support.h"

namespace server_test {
namespace {

using namespace std::chrono_literals;

// A real GSM 06.10 WAV made by sox; its data chunk is the voice chunks a client records.
Bytes SoxGsmBlocks(const std::string& folder, int chunks) {
  const std::string path = folder + "/source.wav";
  const std::string seconds = std::to_string(chunks * 0.32);
  if (RunCommand("sox -n -r 8000 -c 1 -e gsm-full-rate " + path + " synth " + seconds +
                 " sine 440 vol 0.5")
          .status != 0) {
    return {};
  }
  const std::string wav = ReadFile(path);
  const auto data = wav.find("data");
  if (data == std::string::npos) return {};
  return Bytes(wav.begin() + static_cast<long>(data + 8),
               wav.begin() + static_cast<long>(data + 8 + std::size_t{520} * chunks));
}

Bytes VoiceImage(const Bytes& blocks) {
  Bytes image(60);
  WriteWavHeader(image.data(), static_cast<LONG>(blocks.size() / 520 * 5120));
  return Join(image, blocks);
}

// Legal but awkward: quotes, a comma, brackets and an '@' in the name; a repeated and an
// internationalised recipient; text and subject in code page 1252 with a bare CR and a
// 1023-character line; a file name with a path; a real GSM voice.
// The e-mail, its catalogue row and the relay's envelope must say exactly what was meant.
TEST(ServerLoopback, WholeMessageIsAnsweredAsTheClientExpectsAndDeliveredAsEmail) {
  FakeSmtp smtp;
  murmel::server::DeliveryOptions both = {.mailFrom = "mp@service.example", .verifySenders = false};
  both.voiceFormat = murmel::server::VoiceFormat::Both;
  TestServer server(TestServerSetup{.delivery = both, .smtpRelay = smtp.url()});
  ASSERT_TRUE(server.ready() && smtp.ready());
  murmel::test::TempDir work;
  const Bytes blocks = SoxGsmBlocks(work.path(), 3);
  ASSERT_EQ(blocks.size(), 3u * 520) << "sox could not make a GSM file";

  const std::string name = "Zo\xE9 \"Z\" <Lee>, evil@x.org";
  const std::string longLine(1023, 'w');
  Bytes attachment(1025);
  for (std::size_t i = 0; i < attachment.size(); ++i) attachment[i] = static_cast<std::uint8_t>(i);
  Client client(server.port());
  ASSERT_TRUE(Greet(client));
  ASSERT_TRUE(Envelope(client, "\"" + name + "\" <zoe@example.org>",
                       "bob@example.org,Carol@M\xFCller.example,BOB@example.org", "Caf\xE9 \x80"));
  ASSERT_TRUE(Upload(client, 1, B("caf\xE9\rtwo\r\n" + longLine + "\nend")));
  ASSERT_TRUE(Upload(client, 10, attachment, "\\My Documents\\../evil\x01name.bin"));
  ASSERT_TRUE(Upload(client, 0, VoiceImage(blocks)));
  EXPECT_EQ(client.Exchange("CHCK_DEF2.80.1234"), std::string("TROK\x01"));
  ASSERT_EQ(client.Exchange("FINI"), "TROK");
  client.Close();

  const auto rows = Rows(server.state());
  ASSERT_EQ(rows.size(), 1u);
  const auto mail = server.outbox() / "sent" / rows[0].file;
  ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(mail); }));
  const ParsedMail parsed = ParseMail(mail, work.path());
  ASSERT_EQ(parsed.run.status, 0) << parsed.run.output;
  EXPECT_EQ(parsed.Strings("defects"), List{});
  const std::string shown = "Zo\xC3\xA9 \"Z\" <Lee>, evil@x.org";
  EXPECT_EQ(parsed.Strings("from"), (List{shown + " via Murmelpost", "mp@service.example"}));
  EXPECT_EQ(parsed.Strings("reply_to"), (List{shown, "zoe@example.org"}));
  const List to = {"bob@example.org", "Carol@xn--mller-kva.example"};
  EXPECT_EQ(parsed.Strings("to"), to);
  EXPECT_EQ(parsed.String("Subject"), "Caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(parsed.String("headers"), "Received");
  EXPECT_TRUE(parsed.String("Received").starts_with("from [127.0.0.1] by service.example"));
  EXPECT_TRUE(parsed.String("Message-Id").ends_with("@service.example>"));
  const std::string text = parsed.String("text");
  EXPECT_TRUE(text.starts_with("caf\xC3\xA9\ntwo\n" + longLine + "\nend")) << text;
  // 24 blocks of 40 ms: a second.
  EXPECT_NE(text.find("Voice message, 0:01, attached as voice.mp3."), std::string::npos) << text;
  const List names = parsed.Strings("attachments");
  for (const char* file : {"evilname.bin", "voice.mp3", "voice.wav"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), file), names.end()) << file;
  }
  EXPECT_EQ(ReadFile(work / "evilname.bin"), std::string(attachment.begin(), attachment.end()));
  // One list: the row, the To header and what the relay was told agree.
  EXPECT_EQ(rows[0].recipients, "bob@example.org, Carol@xn--mller-kva.example");
  EXPECT_EQ(rows[0].sender, "zoe@example.org");
  EXPECT_EQ(rows[0].clientAddress, "127.0.0.1");
  const auto sessions = smtp.Sessions();
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0].recipients, to);
  EXPECT_EQ(sessions[0].from, "mp@service.example");

  // sox reads voice.wav as GSM and decodes exactly the samples of the blocks we sent.
  const std::string voice = "'" + (work / "voice.wav") + "'";
  const CommandResult ours = RunCommand("sox " + voice + " -t raw - | md5sum");
  const CommandResult original =
      RunCommand("sox '" + (work / "source.wav") + "' -t raw - | md5sum");
  EXPECT_EQ(ours.output, original.output);
}

TEST(ServerLoopback, EachRefusalEndsOnlyItsOwnConnection) {
  murmel::server::Limits limits;
  limits.maxRecipients = 2;
  limits.maxUploadBytes = 4096;
  limits.maxFramePayload = 1100;
  TestServer server(limits);
  ASSERT_TRUE(server.ready());

  auto header = [](WORD length, BYTE check) {
    return Bytes{static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length), check};
  };
  Bytes badCrc = Frame(B("SENDa@b.c"));
  badCrc.back() ^= 0x01;
  // Name, what is written after the envelope, and the refusal word or "" for a plain close
  // after a broken frame; which payloads are refused: session_test.cpp
  const std::tuple<const char*, Bytes, const char*> cases[] = {
      {"bad header check", header(6, static_cast<BYTE>(FrameHeaderCheck(6) ^ 1)), ""},
      {"bad CRC", badCrc, ""},
      {"frame over the limit", header(1103, FrameHeaderCheck(1103)), ""},
      {"unknown command", Frame(B("MAIL")), "NOOK"},
      {"upload over the limit", Frame(B("FLSZ4097")), "NOOK"},
  };

  // A second session runs alongside every failing one and completes afterwards.
  Client bystander(server.port());
  ASSERT_TRUE(Greet(bystander));
  ASSERT_TRUE(Envelope(bystander, "\"B\" <b@example.org>", "c@example.org", "still here"));
  for (const auto& [name, raw, refusal] : cases) {
    Client peer(server.port());
    ASSERT_TRUE(Greet(peer)) << name;
    ASSERT_TRUE(Envelope(peer, "\"P\" <p@example.org>", "q@example.org", "s")) << name;
    ASSERT_TRUE(peer.WriteRaw(raw)) << name;
    // Replies to frames before the offending one, if any, are "TROK".
    std::optional<Bytes> reply;
    while ((reply = peer.Receive()) && *reply == B("TROK")) {
    }
    EXPECT_EQ(reply.value_or(Bytes{}), B(refusal)) << name;
    EXPECT_TRUE(peer.ClosedByServer()) << name;
    EXPECT_EQ(bystander.Exchange("CHCK_DEF2.80.1234"), std::string("TROK\x01")) << name;
  }
  ASSERT_TRUE(Upload(bystander, 1, B("done")));
  EXPECT_EQ(bystander.Exchange("FINI"), "TROK");
  EXPECT_EQ(server.Delivered().size(), 1u);

  // One line per failed peer, each saying why; the bystander is still connected.
  const auto log = server.Log(std::size(cases));
  ASSERT_EQ(log.size(), std::size(cases));
  for (const std::string& line : log) {
    EXPECT_TRUE(line.find("refused: ") != std::string::npos ||
                line.find("ended: ") != std::string::npos)
        << line;
  }
}

TEST(ServerLoopback, IdleConnectionsAreClosedAndSessionsAreCapped) {
  murmel::server::Limits limits;
  limits.idleTimeout = std::chrono::seconds(1);
  limits.maxSessions = 1;
  TestServer server(limits);
  ASSERT_TRUE(server.ready());
  Client first(server.port());
  ASSERT_TRUE(first.Receive().has_value());
  Client second(server.port());
  EXPECT_EQ(second.Receive(), B("NOOK"));  // over the cap: refused at once, in the greeting's place
  EXPECT_TRUE(second.ClosedByServer());
  EXPECT_TRUE(first.ClosedByServer());  // then silent past the idle time
  const auto log = server.Log(2);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_NE(log[0].find("sessions already open"), std::string::npos) << log[0];
  EXPECT_NE(log[1].find("idle too long"), std::string::npos) << log[1];
}

TEST(ServerProcess, StartsOnlyWhenItsSessionsFitTheOpenFileLimit) {
  const std::tuple<const char*, bool, const char*> cases[] = {
      {"--nofile=64:64", false,
       "--max-sessions 100 needs 264 open files, but the limit is 64 (hard limit 64)"},
      {"--nofile=64:4096", true, "raised the open-file limit from 64 to 264"},
  };
  for (const auto& [nofile, serves, said] : cases) {
    ServerProcess server(nofile, {"--max-sessions", "100"});
    EXPECT_EQ(server.Serving(), serves) << nofile;
    EXPECT_NE(server.Log().find(said), std::string::npos) << server.Log();
  }
}

TEST(ServerProcess, OutOfDescriptorsItPausesAcceptingAndServesAgainAfterTheFlood) {
  ServerProcess server("--nofile=1024",
                       {"--max-sessions-per-ip", "1000", "--no-sender-verification"});
  ASSERT_TRUE(server.Serving()) << server.Log();
  // Lowered under its feet, as when the catalogue, the relay and HTTP take their share.
  ASSERT_EQ(RunCommand("prlimit --pid " + std::to_string(server.pid()) + " --nofile=32:32").status,
            0);
  std::vector<std::unique_ptr<Client>> flood(60);
  for (auto& peer : flood) peer = std::make_unique<Client>(server.port());
  EXPECT_TRUE(Eventually([&] { return server.Log().find("pausing accepts") != std::string::npos; }))
      << server.Log();
  flood.clear();
  Client client(server.port());
  ASSERT_TRUE(Greet(client));
  ASSERT_TRUE(Envelope(client, "\"A\" <a@example.org>", "b@example.org", "after the flood"));
  ASSERT_TRUE(Upload(client, 1, B("text")));
  EXPECT_EQ(client.Exchange("FINI"), "TROK");
}

}  // namespace
}  // namespace server_test
