#include "transfer/picture_session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "session_test_support.h"
#include "transfer/command_exchange.h"

namespace {

using session_test::Accepting;
using session_test::Bytes;
using session_test::Concat;
using session_test::FakeTransferServer;
using session_test::Pattern;
using session_test::Script;
using session_test::SessionTest;
using session_test::ToBytes;
using session_test::Wide;
using session_test::WriteFile;

constexpr std::size_t kEnvelopeFrames = 5;  // greeting, LOCL, SEND, RECI, TITL
const char16_t kSender[] = u"\"Ann Example\" <ann@example.com>";

// What the device sent after the envelope; the envelope itself carries only the sender.
std::vector<Bytes> AfterEnvelope(const FakeTransferServer& server) {
  std::vector<Bytes> payloads;
  for (const auto& frame : server.frames()) payloads.push_back(frame.payload);
  if (payloads.size() < kEnvelopeFrames) {
    ADD_FAILURE() << "only " << payloads.size() << " frames";
    return {};
  }
  EXPECT_EQ(payloads[0], ToBytes("HELLCEMurmelpost _DEF:2.80.1234"));
  EXPECT_EQ(payloads[1].size(), 21u);
  EXPECT_EQ(payloads[2], ToBytes("SEND\"Ann Example\" <ann@example.com>"));
  EXPECT_EQ(payloads[3], ToBytes("RECI"));
  EXPECT_EQ(payloads[4], ToBytes("TITL"));
  return {payloads.begin() + kEnvelopeFrames, payloads.end()};
}

// Clearing, an empty file and pictures around the frame size, each with its frames.
TEST_F(SessionTest, PictureGoesInFramesOfAtMost1024BytesWithoutAName) {
  struct Case {
    int mode;
    std::size_t size;
    std::vector<std::size_t> frames;
  };
  const Case cases[] = {
      {0, 0, {}}, {1, 0, {}}, {1, 1024, {1024}}, {1, 1025, {1024, 1}}, {1, 2048, {1024, 1024}}};
  for (const auto& c : cases) {
    const Bytes picture = Pattern(c.size, 9);
    WriteFile(dir_ / "me.jpg", picture);
    FakeTransferServer server;
    Script(server, Accepting(kEnvelopeFrames + 2 + c.frames.size() + 1));
    server.Start();
    UseServer(server);

    const std::u16string path = Wide(dir_ / "me.jpg");
    EXPECT_EQ(RunCustomPictureSession(kSender, path.c_str(), c.mode), 1) << c.size;
    ASSERT_TRUE(server.Finish());
    std::vector<Bytes> expected = {ToBytes("FLSZ" + std::to_string(c.size)), ToBytes("FLTP4")};
    std::size_t offset = 0;
    for (std::size_t i = 0; i < c.frames.size(); ++i) {
      expected.push_back(Concat(i == 0 ? "FLBG" : "FLCN",
                                Bytes(picture.begin() + static_cast<long>(offset),
                                      picture.begin() + static_cast<long>(offset + c.frames[i]))));
      offset += c.frames[i];
    }
    expected.push_back(ToBytes("FINI"));
    EXPECT_EQ(AfterEnvelope(server), expected) << c.mode << " " << c.size;
    EXPECT_TRUE(server.raw().empty());
  }
  // The session is silent: it shows no progress.
  EXPECT_TRUE(session_test::ProgressLog::Values().empty());
}

// A refused step, a vanished file or a file that shrank after "FLSZ" end the session
// with nothing more sent.
TEST_F(SessionTest, PictureSessionStopsAtTheFirstProblem) {
  struct Case {
    const char* what;
    std::size_t accepted;  // frames answered "TROK" before the refusal or the close
    bool refuse;
    bool remove_file;
    bool shrink_file;
    std::size_t frames_sent;
  };
  const Case cases[] = {
      {"RECI refused", 3, true, false, false, 4},
      {"FLTP refused", 6, true, false, false, 7},
      {"FINI refused", 9, true, false, false, 10},
      // noticed only after the envelope: no "FLSZ" goes out
      {"file vanished", 5, false, true, false, 5},
      // "FLSZ2048" was announced; the second frame's bytes are no longer there
      {"file shrank", 8, false, false, true, 8},
  };
  for (const auto& c : cases) {
    const std::string file = dir_ / "me.gif";
    WriteFile(file, Pattern(2048));
    if (c.remove_file) std::filesystem::remove(file);
    FakeTransferServer server;
    server.SendFrame("TROK");
    for (std::size_t i = 0; i < c.accepted; ++i) {
      // Shrinks the file once "FLTP" is in, before any picture byte is read.
      if (c.shrink_file && i == kEnvelopeFrames + 1) {
        server.Run([file] { std::filesystem::resize_file(file, 1500); });
      }
      server.Reply("TROK");
    }
    if (c.refuse) server.Reply("FAIL");
    server.WaitForClose();
    server.Start();
    UseServer(server);

    EXPECT_EQ(RunCustomPictureSession(kSender, Wide(file).c_str(), 1), 0) << c.what;
    EXPECT_TRUE(server.Finish()) << c.what;
    EXPECT_EQ(server.frames().size(), c.frames_sent) << c.what;
    EXPECT_TRUE(server.raw().empty()) << c.what;
  }
}

// A cancelled send leaves its flag set: a later large picture fails at its first frame,
// while a picture of one frame still goes, because the last frame has no cancel test.
TEST_F(SessionTest, LeftoverCancelStopsOnlyMultiFramePictures) {
  struct Case {
    std::size_t size;
    int result;
    std::size_t frames_sent;
  };
  const Case cases[] = {{1024, 1, kEnvelopeFrames + 4}, {2048, 0, kEnvelopeFrames + 3}};
  for (const auto& c : cases) {
    appState.cancelRequested = 1;
    WriteFile(dir_ / "me.jpg", Pattern(c.size));
    FakeTransferServer server;
    Script(server, Accepting(c.frames_sent));
    server.Start();
    UseServer(server);

    EXPECT_EQ(RunCustomPictureSession(kSender, Wide(dir_ / "me.jpg").c_str(), 1), c.result)
        << c.size;
    EXPECT_TRUE(server.Finish());
    EXPECT_EQ(server.frames().size(), c.frames_sent) << c.size;
  }
}

// The thread takes its inputs from the state, keeps a quotation mark in the name as it is,
// and clears its handle at the end.
TEST_F(SessionTest, PictureThreadRunsTheSessionFromTheState) {
  appState.name = u"Ann \"Nan\" Example";
  appState.customPictureMode = PICTURE_CLEAR;
  appState.customPicturePath = u"/nonexistent/picture.gif";
  FakeTransferServer server;
  Script(server, Accepting(kEnvelopeFrames + 3));
  server.Start();
  UseServer(server);

  EXPECT_EQ(CustomPictureThread(nullptr), 0u);
  ASSERT_TRUE(server.Finish());
  const auto frames = server.frames();
  ASSERT_EQ(frames.size(), kEnvelopeFrames + 3);
  EXPECT_EQ(frames[2].payload, ToBytes("SEND\"Ann \"Nan\" Example\" <ann@example.com>"));
  EXPECT_EQ(frames[5].payload, ToBytes("FLSZ0"));
  EXPECT_EQ(appState.customPictureThread.load(), nullptr);
}

}  // namespace
