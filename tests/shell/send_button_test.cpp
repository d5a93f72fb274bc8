// Send from the main window against the scripted transfer server on loopback.

#include <string>

#include "shell/running_client.h"
#include "support/fake_transfer_server.h"
#include "transfer/server_connection.h"

namespace shell_test {
namespace {

using murmel::test::FakeTransferServer;
namespace ui = murmel::testing;

class SendButtonTest : public RunningClientTest {
 protected:
  void SetUp() override {
    RunningClientTest::SetUp();
    EnableMenuItem(appState.menu, IDM_CLEAR_ATTACHMENT, MF_BYCOMMAND | MF_ENABLED);
  }
  void TearDown() override {
    PumpUntil([] { return appState.sendThread.load() == nullptr; });
    SetServerEndpoint(nullptr, 0);
  }

  // Fills the form and presses Send with the client pointed at `server`.
  static void SendTo(const FakeTransferServer& server, const char16_t* to,
                     const char16_t* subject = u"Lunch",
                     const char16_t* text = u"See you at noon") {
    SetServerEndpoint(u"127.0.0.1", server.port());
    SetWindowTextW(MainControl(IDC_RECIPIENTS), to);
    SetWindowTextW(MainControl(IDC_SUBJECT), subject);
    SetWindowTextW(MainControl(IDC_MESSAGE_TEXT), text);
    ui::Click(PanelControl(IDC_SEND));
    PumpPending();
  }

  // Waits for the send thread to end; whatever the outcome, Send is then ready again (the
  // thread enables it before it ends).
  static bool WaitForSendToEnd() {
    const bool ended = PumpUntil([] {
      return appState.sendThread.load() == nullptr && appState.recorderState == RECORDER_IDLE;
    });
    EXPECT_TRUE(IsEnabled(PanelControl(IDC_SEND)));
    return ended;
  }

  static void ExpectFormKept(const char16_t* to) {
    EXPECT_EQ(WindowText(MainControl(IDC_RECIPIENTS)), to);
    EXPECT_EQ(WindowText(MainControl(IDC_SUBJECT)), u"Lunch");
    EXPECT_EQ(WindowText(MainControl(IDC_MESSAGE_TEXT)), u"See you at noon");
    EXPECT_FALSE(ClearAttachmentItemGrayed());
  }

  // After the greeting: LOCL, TYPE, SEND, RECI, TITL; FLSZ, FLTP, the WAV header's FLBG and
  // one FLCN per chunk; CHCK and FINI.
  static long FramesOfVoiceMessage(int chunks) { return 5 + 3 + chunks + 2; }
};

TEST_F(SendButtonTest, AcceptedMessageEmptiesTheFormAndGraysClearAttachment) {
  FakeTransferServer server;
  server.AcceptGreeting().AnswerEveryFrame("TROK").Start();
  SendTo(server, u"carol@example.org; dan@example.org");
  ASSERT_TRUE(WaitForSendToEnd());
  server.Finish();

  EXPECT_TRUE(ui::MessageBoxesShown().empty());
  for (const int id : {IDC_RECIPIENTS, IDC_SUBJECT, IDC_MESSAGE_TEXT}) {
    EXPECT_EQ(WindowText(MainControl(id)), u"");
    EXPECT_TRUE(IsEnabled(MainControl(id)));
  }
  EXPECT_TRUE(ClearAttachmentItemGrayed());
  EXPECT_EQ(GetFocus(), MainControl(IDC_RECIPIENTS));
  // The recipients went out normalised, and the address book learnt them.
  const std::u16string book = ReadUtf16File(DeviceWindowsFolder() + "/CEVireoRec.arr");
  EXPECT_NE(book.find(u"=carol@example.org\r\n"), std::u16string::npos);
  EXPECT_NE(book.find(u"=dan@example.org\r\n"), std::u16string::npos);
}

TEST_F(SendButtonTest, RefusedConnectionShowsTheConnectMessageAndKeepsTheForm) {
  const FakeTransferServer server(0, /*listen_now=*/false);  // bound but refusing
  SendTo(server, u"carol@example.org");
  ASSERT_TRUE(WaitForSendToEnd());
  // Once the message is read, the panel shows the recorder's time again.
  EXPECT_EQ(WindowText(PanelControl(IDC_TIME_DISPLAY)), u"0.0s");

  ExpectOneBox(LoadText(IDS_CONNECT_FAILED), u"Murmelpost", MB_ICONHAND | MB_OK);
  ExpectFormKept(u"carol@example.org");
}

TEST_F(SendButtonTest, StopCancelsSilentlyAndKeepsEverything) {
  FakeTransferServer server;
  // Every envelope command is accepted; then the text's data frame is asked again forever.
  server.AcceptGreeting();
  for (int i = 0; i < 7; ++i) server.Reply("TROK");
  server.AnswerEveryFrame("RETR").Start();
  SendTo(server, u"carol@example.org");
  ASSERT_TRUE(PumpUntil([&] { return server.answered() > 3; }));
  EXPECT_FALSE(IsEnabled(PanelControl(IDC_SEND)));
  EXPECT_FALSE(IsEnabled(MainControl(IDC_SUBJECT)));
  EXPECT_TRUE(IsEnabled(PanelControl(IDC_STOP)));
  ui::Click(PanelControl(IDC_STOP));
  ASSERT_TRUE(WaitForSendToEnd());

  EXPECT_TRUE(ui::MessageBoxesShown().empty());
  ExpectFormKept(u"carol@example.org");
}

// Nothing to send shows a message; recipients that are not addresses only move the focus.
TEST_F(SendButtonTest, FormsThatCannotGoStartNoSend) {
  const FakeTransferServer server(0, /*listen_now=*/false);
  SendTo(server, u"carol@example.org", u"Lunch", u"");
  ExpectOneBox(u"No message exist", u"Info", MB_OK | MB_ICONINFORMATION);
  EXPECT_EQ(appState.sendThread.load(), nullptr);
  EXPECT_TRUE(IsEnabled(MainControl(IDC_RECIPIENTS)));

  for (const char16_t* to : {u"", u"ab", u"carol.example.org", u"@example.org", u"carol@"}) {
    SCOPED_TRACE(std::string(to, to + std::char_traits<char16_t>::length(to)));
    ui::ForgetMessageBoxesShown();
    SetFocus(MainControl(IDC_SUBJECT));
    SendTo(server, to, u"Lunch", u"text");
    EXPECT_TRUE(ui::MessageBoxesShown().empty());
    EXPECT_EQ(GetFocus(), MainControl(IDC_RECIPIENTS));
    EXPECT_EQ(appState.sendThread.load(), nullptr);
    EXPECT_TRUE(IsEnabled(MainControl(IDC_SUBJECT)));
  }
}

// Send while recording, right after Stop (which hands the recorder its last buffers back
// later) or while playing: the recording goes, and the recorder is free again.
TEST_F(SendButtonTest, SendTakesTheRecordingWhateverTheRecorderIsDoing) {
  enum Then { kKeepRecording, kStop, kPlay };
  for (const auto& [name, then] :
       {std::pair{"recording", kKeepRecording}, std::pair{"right after stop", kStop},
        std::pair{"playing", kPlay}}) {
    SCOPED_TRACE(name);
    ResetForm();
    ui::Click(PanelControl(IDC_RECORD));
    ASSERT_TRUE(PumpUntil([] { return appState.voiceChunkCount >= 2; }));
    if (then != kKeepRecording) ui::Click(PanelControl(IDC_STOP));
    if (then == kPlay) {
      ASSERT_TRUE(PumpUntil([] { return appState.recordingAvailable == 1; }));
      ui::Click(PanelControl(IDC_PLAY));
      ASSERT_EQ(appState.recorderState.load(), RECORDER_PLAYING);
    }
    const int chunks = appState.voiceChunkCount;
    FakeTransferServer server;
    server.AcceptGreeting().AnswerEveryFrame("TROK").Start();
    SendTo(server, u"carol@example.org", u"Voice", u"");
    ASSERT_TRUE(WaitForSendToEnd());
    server.Finish();

    EXPECT_TRUE(ui::MessageBoxesShown().empty());
    EXPECT_EQ(appState.waveDeviceOpen, 0);
    EXPECT_EQ(appState.recordingAvailable.load(), 0);
    if (then == kPlay) {
      EXPECT_EQ(server.answered(), FramesOfVoiceMessage(chunks));
    } else {
      EXPECT_GE(server.answered(), FramesOfVoiceMessage(2));
    }
    ASSERT_TRUE(IsEnabled(PanelControl(IDC_RECORD)));
    ui::Click(PanelControl(IDC_RECORD));
    EXPECT_EQ(appState.recorderState.load(), RECORDER_RECORDING);
  }
}

}  // namespace
}  // namespace shell_test
