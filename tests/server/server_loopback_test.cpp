// A real server on loopback, driven by a scripted client: the whole dialogue, refusals
// that cost only their own connection, durability, and the e-mail that comes out.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <sstream>

#include "audio/wav_header.h"
#include "scripted_client.h"

namespace server_test {
namespace {

using namespace std::chrono_literals;

// Waits for the server's log to reach a count of session lines (the server logs a
// session after it has closed it). Generous bound; no assertion on time.
std::vector<std::string> WaitForLog(TestServer& server, std::size_t lines) {
  for (int i = 0; i < 1000; ++i) {
    auto log = server.Log();
    if (log.size() >= lines) return log;
    std::this_thread::sleep_for(10ms);
  }
  return server.Log();
}

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
               wav.begin() + static_cast<long>(data + 8 + 520 * chunks));
}

Bytes VoiceImage(const Bytes& blocks) {
  Bytes image(60);
  WriteWavHeader(image.data(), static_cast<LONG>(blocks.size() / 520 * 5120));
  return Join(image, blocks);
}

// Parses a delivered e-mail with Python's email package; prints the headers of interest,
// the text, and writes each attachment into folder under its (sanitised) name.
std::string ParseMail(const std::filesystem::path& mail, const std::string& folder) {
  const std::string script = R"PY(
import email, email.policy, sys, os
msg = email.message_from_binary_file(open(sys.argv[1], 'rb'), policy=email.policy.default)
print('From:', msg['From'].addresses[0].display_name, '|', msg['From'].addresses[0].addr_spec)
print('To:', ','.join(a.addr_spec for a in msg['To'].addresses))
print('Subject:', msg['Subject'])
print('Date:', 'yes' if msg['Date'].datetime else 'no')
for part in msg.iter_attachments():
    name = part.get_filename()
    print('Attachment:', name, part.get_content_type())
    open(os.path.join(sys.argv[2], name), 'wb').write(part.get_payload(decode=True))
body = msg.get_body(preferencelist=('plain',))
print('Text:', body.get_content() if body else '')
)PY";
  const std::string scriptPath = folder + "/parse.py";
  std::ofstream(scriptPath) << script;
  return RunCommand("python3 " + scriptPath + " '" + mail.string() + "' '" + folder + "'").output;
}

TEST(ServerLoopback, WholeMessageIsAnsweredAsTheClientExpectsAndDeliveredAsEmail) {
  murmel::server::DeliveryOptions both = ClosedNetwork();
  both.voiceFormat = murmel::server::VoiceFormat::Both;
  TestServer server(TestServerSetup{.delivery = both});
  ASSERT_TRUE(server.ready());
  murmel::test::TempDir work;
  const Bytes blocks = SoxGsmBlocks(work.path(), 3);
  ASSERT_EQ(blocks.size(), 3u * 520) << "sox could not make a GSM file";

  Client client(server.port());
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(Greet(client));
  // Code page 1252: the subject and text carry é and the euro sign in that code page.
  ASSERT_TRUE(Envelope(client, "\"Zo\xE9 \"Z\" Lee\" <zoe@example.org>",
                       "bob@example.org,carol@example.net", "Caf\xE9 at 5 \x80"));
  ASSERT_TRUE(Upload(client, 1, B("Hello from the caf\xE9")));
  Bytes attachment(1025);
  for (std::size_t i = 0; i < attachment.size(); ++i) attachment[i] = static_cast<std::uint8_t>(i);
  ASSERT_TRUE(Upload(client, 10, attachment, "\\My Documents\\../evil\x01name.bin"));
  ASSERT_TRUE(Upload(client, 0, VoiceImage(blocks)));
  EXPECT_EQ(client.Exchange("CHCK_DEF2.80.1234"), std::string("TROK\x01"));
  EXPECT_EQ(client.Exchange("FINI"), "TROK");
  client.Close();

  const auto delivered = server.Delivered();
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_TRUE(server.Temporary().empty());

  const std::string parsed = ParseMail(delivered[0], work.path());
  EXPECT_NE(parsed.find("From: Zo\xC3\xA9 \"Z\" Lee via Murmelpost | murmelpost@service.example"),
            std::string::npos)
      << parsed;
  EXPECT_NE(parsed.find("To: bob@example.org,carol@example.net"), std::string::npos) << parsed;
  EXPECT_NE(parsed.find("Subject: Caf\xC3\xA9 at 5 \xE2\x82\xAC"), std::string::npos) << parsed;
  EXPECT_NE(parsed.find("Date: yes"), std::string::npos) << parsed;
  EXPECT_NE(parsed.find("Text: Hello from the caf\xC3\xA9"), std::string::npos) << parsed;
  EXPECT_NE(parsed.find("Voice message, 0:01, attached as voice.mp3."), std::string::npos)
      << parsed;  // 24 blocks of 40 ms
  EXPECT_NE(parsed.find("Attachment: voice.mp3 audio/mpeg"), std::string::npos) << parsed;
  EXPECT_NE(parsed.find("Attachment: voice.wav audio/wav"), std::string::npos) << parsed;
  EXPECT_NE(parsed.find("Attachment: evilname.bin"), std::string::npos) << parsed;
  EXPECT_EQ(ReadFile(work / "evilname.bin"), std::string(attachment.begin(), attachment.end()));

  // sox reads voice.wav as GSM and decodes exactly the samples of the blocks we sent.
  const std::string voice = "'" + (work / "voice.wav") + "'";
  const CommandResult info = RunCommand("soxi -e " + voice + " && soxi -r " + voice +
                                        " && soxi -c " + voice + " && soxi -s " + voice);
  EXPECT_EQ(info.status, 0) << info.output;
  EXPECT_NE(info.output.find("GSM"), std::string::npos) << info.output;
  EXPECT_NE(info.output.find("8000\n1\n7680"), std::string::npos) << info.output;
  const CommandResult ours = RunCommand("sox '" + (work / "voice.wav") + "' -t raw - | md5sum");
  const CommandResult original =
      RunCommand("sox '" + (work / "source.wav") + "' -t raw - | md5sum");
  EXPECT_EQ(ours.output, original.output);
}

TEST(ServerLoopback, EachRefusalEndsOnlyItsOwnConnection) {
  TestServer server([] {
    murmel::server::Limits limits;
    limits.maxRecipients = 2;
    limits.maxUploadBytes = 4096;
    limits.maxFramePayload = 1100;
    return limits;
  }());
  ASSERT_TRUE(server.ready());

  auto header = [](WORD length, BYTE check) {
    return Bytes{static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length), check};
  };
  Bytes badCrc = Frame(B("SENDa@b.c"));
  badCrc.back() ^= 0x01;
  struct Case {
    const char* name;
    Bytes raw;         // written after the envelope
    bool expectReply;  // a refusal word, or a plain close for a broken frame
  };
  const Case cases[] = {
      {"bad header check", header(6, static_cast<BYTE>(FrameHeaderCheck(6) ^ 1)), false},
      {"bad CRC", badCrc, false},
      {"frame over the limit", header(1103, FrameHeaderCheck(1103)), false},
      {"unknown command", Frame(B("MAIL")), true},
      {"data frame outside an upload", Frame(B("FLBGxx")), true},
      {"more data than announced",
       Join(Join(Frame(B("FLSZ1")), Frame(B("FLTP1"))), Frame(B("FLBGxy"))), true},
      {"a second recipient list", Frame(B("RECIa@b.c")), true},
      {"upload over the limit", Frame(B("FLSZ4097")), true},
  };

  // A second session runs alongside every failing one and completes afterwards.
  Client bystander(server.port());
  ASSERT_TRUE(Greet(bystander));
  ASSERT_TRUE(Envelope(bystander, "\"B\" <b@example.org>", "c@example.org", "still here"));
  for (const Case& c : cases) {
    Client peer(server.port());
    ASSERT_TRUE(Greet(peer)) << c.name;
    ASSERT_TRUE(Envelope(peer, "\"P\" <p@example.org>", "q@example.org", "s")) << c.name;
    ASSERT_TRUE(peer.WriteRaw(c.raw)) << c.name;
    // Replies to frames before the offending one, if any, are "TROK".
    std::optional<Bytes> reply;
    while ((reply = peer.Receive()) && *reply == B("TROK")) {
    }
    if (c.expectReply) {
      ASSERT_TRUE(reply.has_value()) << c.name;
      EXPECT_EQ(*reply, B("NOOK")) << c.name;
    } else {
      EXPECT_FALSE(reply.has_value()) << c.name;
    }
    EXPECT_TRUE(peer.ClosedByServer()) << c.name;
    EXPECT_EQ(bystander.Exchange("CHCK_DEF2.80.1234"), std::string("TROK\x01")) << c.name;
  }
  ASSERT_TRUE(Upload(bystander, 1, B("done")));
  EXPECT_EQ(bystander.Exchange("FINI"), "TROK");
  EXPECT_EQ(server.Delivered().size(), 1u);

  // One line per failed peer, each saying why; the bystander is still connected.
  const auto log = WaitForLog(server, std::size(cases));
  ASSERT_EQ(log.size(), std::size(cases));
  for (const std::string& line : log) {
    EXPECT_TRUE(line.find("refused: ") != std::string::npos ||
                line.find("ended: ") != std::string::npos)
        << line;
  }
}

TEST(ServerLoopback, ALostConnectionLeavesNothingAndFiniMeansDelivered) {
  TestServer server;
  ASSERT_TRUE(server.ready());
  {
    Client client(server.port());
    ASSERT_TRUE(Greet(client));
    ASSERT_TRUE(Envelope(client, "\"A\" <a@example.org>", "b@example.org", "never sent"));
    ASSERT_TRUE(Upload(client, 1, B("a whole text")));
    EXPECT_EQ(client.Exchange("CHCK_DEF2.80.1234"), std::string("TROK\x01"));
    // Gone before "FINI".
  }
  ASSERT_EQ(WaitForLog(server, 1).size(), 1u);
  EXPECT_TRUE(server.Delivered().empty());
  EXPECT_TRUE(server.Temporary().empty());

  Client client(server.port());
  ASSERT_TRUE(Greet(client));
  ASSERT_TRUE(Envelope(client, "\"A\" <a@example.org>", "b@example.org", "sent"));
  ASSERT_TRUE(Upload(client, 1, B("text")));
  ASSERT_EQ(client.Exchange("FINI"), "TROK");
  // No waiting: "TROK" to "FINI" is only sent once the file is in new/.
  const auto delivered = server.Delivered();
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_NE(ReadFile(delivered[0]).find("Subject: sent"), std::string::npos);
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
  const auto log = WaitForLog(server, 2);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_NE(log[0].find("sessions already open"), std::string::npos) << log[0];
  EXPECT_NE(log[1].find("idle too long"), std::string::npos) << log[1];
}

TEST(ServerProcess, StartsOnlyWhenItsSessionsFitTheOpenFileLimit) {
  struct Case {
    const char* nofile;
    bool serves;
    const char* said;
  };
  const Case cases[] = {
      {"--nofile=64:64", false,
       "--max-sessions 100 needs 264 open files, but the limit is 64 (hard limit 64)"},
      {"--nofile=64:4096", true, "raised the open-file limit from 64 to 264"},
  };
  for (const Case& c : cases) {
    ServerProcess server(c.nofile, {"--max-sessions", "100"});
    EXPECT_EQ(server.Serving(), c.serves) << c.nofile;
    EXPECT_NE(server.Log().find(c.said), std::string::npos) << server.Log();
  }
}

TEST(ServerProcess, OutOfDescriptorsItPausesAcceptingAndServesAgainAfterTheFlood) {
  ServerProcess server("--nofile=1024",
                       {"--max-sessions-per-ip", "1000", "--no-sender-verification"});
  ASSERT_TRUE(server.Serving()) << server.Log();
  // Lowered under its feet, as when the catalogue, the relay and HTTP take their share.
  ASSERT_EQ(RunCommand("prlimit --pid " + std::to_string(server.pid()) + " --nofile=32:32").status,
            0);
  std::vector<std::unique_ptr<Client>> flood;
  for (int i = 0; i < 60; ++i) flood.push_back(std::make_unique<Client>(server.port()));
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
