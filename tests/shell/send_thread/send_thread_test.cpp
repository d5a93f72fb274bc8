#include "shell/send_thread.h"

#include <gtest/gtest.h>

#include "transfer/session_test_support.h"

namespace {

using namespace session_test;

// The send thread without a main window: the form and the recording as a user sees them.
class SendThreadTest : public SessionTest {
 protected:
  // A text, an attachment of `attachment` bytes and a recording.
  void Compose(std::size_t attachment, int chunks = 1) {
    FreshForm();
    SetText(u"Hello");
    Attach("a.bin", Pattern(attachment));
    Record(chunks);
  }

  static DWORD RunThread(FakeTransferServer& server) {
    return Serve(server, [] { return SendThreadProc(nullptr); });
  }
};

TEST_F(SendThreadTest, SendThreadEmptiesTheFormAfterASuccessfulSend) {
  Compose(10, 2);
  appState.cancelRequested = 1;  // left over from an earlier cancelled send
  FakeTransferServer server;
  Script(server, MessageReplies(3 + 4 + 5));

  EXPECT_EQ(RunThread(server), 0u);
  EXPECT_TRUE(appState.recipientsText.empty());
  EXPECT_TRUE(appState.messageText.empty());
  EXPECT_EQ(appState.hasMessageText, 0);
  EXPECT_TRUE(appState.attachmentPath.empty());
  EXPECT_EQ(appState.recordingAvailable.load(), 0);
  EXPECT_EQ(appState.voiceHead, nullptr);
  EXPECT_EQ(appState.sendThread.load(), nullptr);
  EXPECT_EQ(progressShown.back(), 100);
}

// Stop pressed the moment a step completes (when it shows its percentage): the session
// sends nothing more.
TEST_F(SendThreadTest, StopAsEachStepCompletesEndsTheSessionThere) {
  // A text, a 10-byte attachment and one chunk show 1, 3, 5, 7, 9, then one value per
  // upload frame, the voice's end once more and 100.
  const struct {
    const char* step;
    std::size_t show;     // Stop during the n-th percentage shown
    long framesAnswered;  // what the server had seen by then
  } cases[] = {
      {"connection", 1, 0}, {"locale", 3, 2},      {"client type", 4, 3}, {"envelope", 5, 6},
      {"text", 6, 9},       {"attachment", 7, 13}, {"voice", 9, 17},
  };
  static std::size_t stopAtShow = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.step);
    Compose(10);
    stopAtShow = c.show;
    SetTransferProgressObserver([](int percent) {
      RecordProgress(percent);
      if (progressShown.size() == stopAtShow) appState.cancelRequested = 1;
    });
    FakeTransferServer server;
    server.SendFrame("TROK").AnswerEveryFrame("TROK");

    EXPECT_EQ(RunThread(server), 0u);
    EXPECT_EQ(server.answered(), c.framesAnswered);
    EXPECT_EQ(progressShown.size(), c.show);
    // Everything is kept for another try.
    EXPECT_EQ(appState.recordingAvailable.load(), 1);
    EXPECT_NE(appState.voiceHead, nullptr);
    EXPECT_FALSE(appState.attachmentPath.empty());
    EXPECT_FALSE(appState.recipientsText.empty());
    EXPECT_FALSE(appState.messageText.empty());
    EXPECT_EQ(appState.recorderState.load(), RECORDER_IDLE);
  }
}

}  // namespace
