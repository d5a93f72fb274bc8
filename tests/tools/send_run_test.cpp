// The sender end to end in one process: its command line against a scripted transfer
// server on loopback, through the client's real sessions and sockets.
#include "tools/murmelpost_send/send_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "state/app_state.h"
#include "support/fake_transfer_server.h"
#include "support/kernel_test_files.h"
#include "support/pcm_wav_file.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace {

using murmel::send_tool::EXIT_BAD_INPUT;
using murmel::send_tool::EXIT_SEND_FAILED;
using murmel::send_tool::EXIT_SENT;
using murmel::send_tool::RunSendTool;
using murmel::test::Bytes;
using murmel::test::FakeTransferServer;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
  std::vector<int> progress;
  std::vector<std::string> otherLines;  // what is not a progress line
};

Outcome RunSender(const std::vector<std::string>& arguments, bool terminal = false) {
  std::ostringstream out, err;
  Outcome outcome{RunSendTool(arguments, out, err, terminal), out.str(), err.str(), {}, {}};
  std::istringstream lines(outcome.err);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("progress ") && line.ends_with('%')) {
      outcome.progress.push_back(std::stoi(line.substr(9)));
    } else {
      outcome.otherLines.push_back(line);
    }
  }
  return outcome;
}

// The frames' payloads, each followed by '|', so that a mismatch shows where it starts.
std::string Joined(const std::vector<std::string>& payloads) {
  std::string joined;
  for (const std::string& payload : payloads) joined += payload + "|";
  return joined;
}

std::string Endpoint(const FakeTransferServer& server) {
  return "127.0.0.1:" + std::to_string(server.port());
}

std::vector<std::string> Sender(const FakeTransferServer& server, std::vector<std::string> more) {
  std::vector<std::string> arguments = {
      "--server", Endpoint(server),        "--from",     " ann@example.org ",
      "--name",   "Ann \"Annie\" Example", "--title=Ms."};
  arguments.insert(arguments.end(), more.begin(), more.end());
  return arguments;
}

class SendRunTest : public testing::Test {
 protected:
  murmel::test::TempDir dir_;
};

TEST_F(SendRunTest, BadInputIsRefusedBeforeAnyConnection) {
  // Refuses connections, so that input let through fails at once as a send, not a hang.
  FakeTransferServer server(0, /*listen_now=*/false);
  murmel::test::WriteHostFile(dir_ / "big.jpg", std::string(102401, 'x'));
  murmel::test::WriteHostFile(dir_ / "notes.txt", "not audio");
  // 128 addresses of 7 characters fill the recipient box, but not "RECI" and the list.
  std::string fullList = "b@x.org";
  for (int i = 1; i < 128; ++i) fullList += ",b@x.org";
  std::string doubleByteSubject;
  for (int i = 0; i < 600; ++i) doubleByteSubject += "\u3042";  // two bytes each in 932
  const struct {
    std::vector<std::string> more;
    std::string mentions;
    const char* locale = "C";
  } cases[] = {
      {{"--to", "b@x.org", "--text="}, "empty"},  // a text, but an empty one
      {{"--to", "b@x.org", "--text", "x", "--subject", std::string(1020, 'a')}, "--subject"},
      {{"--to", "b@x.org", "--text", "x", "--subject", doubleByteSubject},
       "--subject",
       "ja_JP.UTF-8"},
      {{"--to", fullList, "--text", "x"}, "--to"},
      {{"--to", "bob"}, "--to"},
      {{"--to", "b@x.org", "--attach", dir_ / "missing.bin"}, "missing.bin"},
      {{"--to", "b@x.org", "--attach", dir_.path()}, "attachment"},
      {{"--to", "b@x.org", "--voice", dir_ / "notes.txt"}, "notes.txt"},
      {{"--to", "b@x.org", "--text", std::string(1024, 'a')}, "--text"},
      {{"--picture", dir_ / "big.jpg"}, "100K"},
      {{"--to", "b@x.org", "--cc", "c@x.org"}, "--cc"},
      {{"--to", "b@x.org", "--from", "ann"}, "--from"},  // the later --from counts
  };
  for (const auto& c : cases) {
    const murmel::test::ScopedEnv locale("LC_ALL", c.locale);
    const Outcome outcome = RunSender(Sender(server, c.more));
    EXPECT_EQ(outcome.status, EXIT_BAD_INPUT) << c.mentions;
    ASSERT_EQ(outcome.otherLines.size(), 1u) << outcome.err;
    EXPECT_NE(outcome.otherLines[0].find(c.mentions), std::string::npos) << outcome.err;
    EXPECT_TRUE(outcome.progress.empty()) << c.mentions;
  }
}

TEST_F(SendRunTest, WholeMessageReachesTheServerInTheClientsOrder) {
  murmel::test::WriteHostFile(dir_ / "note.txt", "hello");
  // Half a second at 8 kHz: two voice chunks.
  murmel::test::WritePcmWav(dir_ / "voice.wav", 0.5,
                            [](double t) { return 9000 * std::sin(2765 * t); });
  const murmel::test::ScopedEnv westernCodePage("LC_ALL", "C");
  FakeTransferServer server;
  server.AcceptGreeting();
  for (int i = 0; i < 17; ++i) server.Reply("TROK");  // envelope, text, file, voice
  server.Reply(Bytes{'T', 'R', 'O', 'K', 1}).Reply("TROK").WaitForClose();
  server.Start();

  const Outcome outcome =
      RunSender(Sender(server, {"--to=  b@x.org; c@y.org ", "--subject=Größe", "--text", "Hi",
                                "--attach", dir_ / "note.txt", "--voice", dir_ / "voice.wav"}));
  ASSERT_TRUE(server.Finish());
  EXPECT_EQ(outcome.status, EXIT_SENT) << outcome.err;
  EXPECT_TRUE(outcome.otherLines.empty()) << outcome.err;

  std::vector<std::string> payloads = server.payloads();
  ASSERT_EQ(payloads.size(), 20u);
  // The binary locale record ends in the title flag: 1 for "Ms.".
  EXPECT_EQ(payloads[1].size(), 21u);
  EXPECT_EQ(payloads[1].back(), '\x01');
  payloads[1].resize(4);
  EXPECT_EQ(payloads[15].size(), 64u);   // the voice image's header
  EXPECT_EQ(payloads[16].size(), 524u);  // one chunk each
  EXPECT_EQ(payloads[17].size(), 524u);
  for (const int voiceFrame : {15, 16, 17}) payloads[voiceFrame].resize(4);
  // Frames in order; the subject in code page 1252.
  EXPECT_EQ(Joined(payloads),
            "HELLCEMurmelpost _DEF:2.80.1234|LOCL|TYPE_DEF|"
            "SEND\"Ann \"Annie\" Example\" <ann@example.org>|RECIb@x.org,c@y.org|TITLGr\xF6\xDF"
            "e|FLSZ2|FLTP1|FLBGHi|FLSZ5|FLTP10|FLNMnote.txt|FLBGhello|FLSZ1100|FLTP0|FLBG|FLCN|"
            "FLCN|CHCK_DEF2.80.1234|FINI|");

  // Every percentage the session shows, in order: transferTotal is 3 + 5 + 1100 bytes.
  EXPECT_EQ(outcome.progress, (std::vector<int>{1, 3, 5, 7, 9, 10, 10, 57, 100, 100, 100}));
  EXPECT_EQ(outcome.out, "sent to 2 recipients: 0.64 s of voice, 1108 bytes\n");
  EXPECT_EQ(appState.recordingAvailable, 0);
  EXPECT_EQ(appState.voiceHead, nullptr);
}

// Each way a send fails reads differently, so the user knows where to look.
TEST_F(SendRunTest, FailuresSayWhetherTheHostWasMissingRefusedOrBrokeOff) {
  FakeTransferServer refusing;
  refusing.AcceptGreeting().Reply("TROK").Reply("TROK").Reply("TROK").Reply("NOOK").WaitForClose();
  refusing.Start();
  FakeTransferServer closed(0, false);  // bound, but nobody accepts
  const struct {
    std::vector<std::string> arguments;
    std::string says;
    std::vector<int> progress;
  } cases[] = {
      {Sender(refusing, {"--to", "b@x.org", "--text", "Hi"}),
       "the server " + Endpoint(refusing) + " broke off the transfer at 7%",
       {1, 3, 5, 7}},
      {Sender(closed, {"--to", "b@x.org", "--text", "Hi"}),
       "the server " + Endpoint(closed) + " refused the connection",
       {}},
      {Sender(closed, {"--to", "b@x.org", "--text", "Hi", "--server", "nosuch.invalid"}),
       "the server host 'nosuch.invalid' was not found",
       {}},
  };
  for (const auto& c : cases) {
    const Outcome outcome = RunSender(c.arguments);
    EXPECT_EQ(outcome.status, EXIT_SEND_FAILED) << c.says;
    ASSERT_EQ(outcome.otherLines.size(), 1u) << outcome.err;
    EXPECT_NE(outcome.otherLines[0].find(c.says), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.progress, c.progress) << c.says;
    EXPECT_EQ(outcome.out, "") << c.says;
  }
  EXPECT_TRUE(refusing.Finish());
  EXPECT_EQ(refusing.payloads().back(), "RECIb@x.org");
}

// On a terminal the percentage is one line, rewritten in place and ended once.
TEST_F(SendRunTest, TerminalShowsTheProgressOnOneLine) {
  FakeTransferServer server;
  server.AcceptGreeting().AnswerEveryFrame("TROK").Start();
  const Outcome outcome = RunSender(Sender(server, {"--to", "b@x.org", "--text", "Hi"}), true);
  server.Finish();
  EXPECT_EQ(outcome.status, EXIT_SENT) << outcome.err;
  EXPECT_EQ(outcome.err,
            "\rprogress   1%\rprogress   3%\rprogress   5%\rprogress   7%\rprogress   9%"
            "\rprogress  70%\rprogress 100%\n");
  EXPECT_EQ(outcome.out, "sent to 1 recipient: no voice, 3 bytes\n");
}

TEST_F(SendRunTest, PictureIsRegisteredOrClearedWithTheSenderOnly) {
  murmel::test::WriteHostFile(dir_ / "me.gif", std::string(1025, 'p'));
  const struct {
    std::vector<std::string> more;
    std::string upload;
  } cases[] = {
      {{"--picture", dir_ / "me.gif"}, "FLSZ1025|FLTP4|FLBG" + std::string(1024, 'p') + "|FLCNp|"},
      {{"--clear-picture"}, "FLSZ0|FLTP4|"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.more[0]);
    FakeTransferServer server;
    server.AcceptGreeting();
    // Locale, envelope, the upload's frames and "FINI".
    for (auto i = std::ranges::count(c.upload, '|') + 5; i > 0; --i) server.Reply("TROK");
    server.WaitForClose().Start();
    const Outcome outcome = RunSender(Sender(server, c.more));
    ASSERT_TRUE(server.Finish());
    EXPECT_EQ(outcome.status, EXIT_SENT) << outcome.err;
    std::vector<std::string> payloads = server.payloads();
    ASSERT_GE(payloads.size(), 2u);
    payloads.erase(payloads.begin() + 1);  // the locale record
    // No "TYPE", and an envelope with nothing but the sender.
    EXPECT_EQ(Joined(payloads),
              "HELLCEMurmelpost _DEF:2.80.1234|SEND\"Ann \"Annie\" Example\" <ann@example.org>|"
              "RECI|TITL|" +
                  c.upload + "FINI|");
  }
}

}  // namespace
