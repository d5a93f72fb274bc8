#include "shell/send_thread.h"

#include <gtest/gtest.h>

#include "transfer/session_test_support.h"

namespace {

using session_test::FakeTransferServer;
using session_test::kCheckReply;
using session_test::kEnvelopeFrames;
using session_test::MessageReplies;
using session_test::Pattern;
using session_test::ProgressLog;
using session_test::Script;
using session_test::SessionTest;
using session_test::ToBytes;

// The send thread without a main window: the form and the recording as a user sees them.
TEST_F(SessionTest, SendThreadEmptiesTheFormAfterASuccessfulSend) {
  appState.messageText = u"Hello";
  appState.hasMessageText = 1;
  Attach("a.bin", Pattern(10));
  Record(2);
  appState.cancelRequested = 1;  // left over from an earlier cancelled send
  FakeTransferServer server;
  Script(server, MessageReplies(3 + 4 + 5));
  server.Start();
  UseServer(server);

  EXPECT_EQ(SendThreadProc(nullptr), 0u);
  ASSERT_TRUE(server.Finish());
  EXPECT_TRUE(appState.recipientsText.empty());
  EXPECT_TRUE(appState.subjectText.empty());
  EXPECT_TRUE(appState.messageText.empty());
  EXPECT_EQ(appState.hasMessageText, 0);
  EXPECT_TRUE(appState.attachmentPath.empty());
  EXPECT_TRUE(appState.attachmentName.empty());
  EXPECT_EQ(appState.recordingAvailable.load(), 0);
  EXPECT_EQ(appState.recordedBytes, 0u);
  EXPECT_EQ(appState.voiceHead, nullptr);
  EXPECT_EQ(appState.recorderState.load(), RECORDER_IDLE);
  EXPECT_EQ(appState.sendThread.load(), nullptr);
  EXPECT_EQ(ProgressLog::Values().back(), 100);
}

// Stop pressed while the server handles a frame: the session ends at the next test and
// the thread keeps everything for another try, even when the server had already finished.
TEST_F(SessionTest, StopKeepsTheFormAndTheRecording) {
  struct Case {
    const char* when;
    std::size_t stopAtFrame;  // the frame the server holds when Stop is pressed
  };
  // Envelope 6, attachment FLSZ FLTP FLNM FLBG FLCN, voice FLSZ FLTP FLBG FLCN, CHCK, FINI.
  const std::size_t checkFrame = kEnvelopeFrames + 5 + 4 + 1;
  const Case cases[] = {
      {"during the attachment", kEnvelopeFrames + 4},
      {"during the voice", kEnvelopeFrames + 5 + 4},
      {"after the last test", checkFrame + 1},
  };
  for (const auto& c : cases) {
    SetUp();
    Attach("a.bin", Pattern(2048));
    Record(1);
    FakeTransferServer server;
    server.SendFrame("TROK");
    for (std::size_t frame = 1; frame < c.stopAtFrame; ++frame) {
      server.Reply(frame == checkFrame ? kCheckReply : ToBytes("TROK"));
    }
    // The flag is set while the device waits for this frame's answer, as a user's Stop is.
    server.ReceiveFrame();
    server.Run([] { appState.cancelRequested = 1; });
    server.SendFrame("TROK");
    server.WaitForClose();
    server.Start();
    UseServer(server);

    EXPECT_EQ(SendThreadProc(nullptr), 0u) << c.when;
    EXPECT_TRUE(server.Finish()) << c.when;
    EXPECT_EQ(server.frames().size(), c.stopAtFrame) << c.when;
    EXPECT_TRUE(server.raw().empty()) << c.when;
    EXPECT_EQ(appState.recordingAvailable.load(), 1) << c.when;
    EXPECT_NE(appState.voiceHead, nullptr) << c.when;
    EXPECT_FALSE(appState.attachmentPath.empty()) << c.when;
    EXPECT_FALSE(appState.recipientsText.empty()) << c.when;
    EXPECT_EQ(appState.recorderState.load(), RECORDER_IDLE) << c.when;
    EXPECT_EQ(appState.cancelRequested.load(), 1) << c.when;
  }
}

// Stop pressed the moment a step completes (when it shows its percentage): the session
// sends nothing more, and the thread keeps everything for another try.
TEST_F(SessionTest, StopAsEachStepCompletesEndsTheSessionThere) {
  struct Case {
    const char* step;
    std::size_t show;     // Stop during the n-th percentage shown
    long framesAnswered;  // what the server had seen by then
  };
  // Text, a 10-byte attachment and one chunk show 1, 3, 5, 7, 9, then one value per
  // upload frame, the voice's end once more and 100.
  const Case cases[] = {
      {"connection", 1, 0}, {"locale", 3, 2},      {"client type", 4, 3}, {"envelope", 5, 6},
      {"text", 6, 9},       {"attachment", 7, 13}, {"voice", 9, 17},
  };
  static std::size_t stopAtShow = 0;
  for (const auto& c : cases) {
    SetUp();
    appState.messageText = u"Hello";
    appState.hasMessageText = 1;
    Attach("a.bin", Pattern(10));
    Record(1);
    stopAtShow = c.show;
    SetTransferProgressObserver([](int percent) {
      ProgressLog::Record(percent);
      if (ProgressLog::Values().size() == stopAtShow) appState.cancelRequested = 1;
    });
    FakeTransferServer server;
    server.SendFrame("TROK").AnswerEveryFrame("TROK").Start();
    UseServer(server);

    EXPECT_EQ(SendThreadProc(nullptr), 0u) << c.step;
    server.Finish();
    EXPECT_EQ(server.answered(), c.framesAnswered) << c.step;
    EXPECT_EQ(ProgressLog::Values().size(), c.show) << c.step;
    EXPECT_EQ(appState.recordingAvailable.load(), 1) << c.step;
    EXPECT_FALSE(appState.attachmentPath.empty()) << c.step;
    EXPECT_FALSE(appState.messageText.empty()) << c.step;
  }
}

}  // namespace
