// Send from the main window against the scripted transfer server on loopback.
#include <commctrl.h>

#include <string>
#include <vector>

#include "shell/running_client.h"
#include "support/fake_transfer_server.h"
#include "transfer/server_connection.h"

namespace shell_test {
namespace {

using murmel::test::FakeTransferServer;

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

  static void UseServer(const FakeTransferServer& server) {
    SetServerEndpoint(u"127.0.0.1", server.port());
  }

  static void FillForm(const char16_t* to, const char16_t* subject, const char16_t* text) {
    SetWindowTextW(MainControl(IDC_RECIPIENTS), to);
    SetWindowTextW(MainControl(IDC_SUBJECT), subject);
    SetWindowTextW(MainControl(IDC_MESSAGE_TEXT), text);
  }

  static void PressSend() {
    murmel::testing::Click(PanelControl(IDC_SEND));
    PumpPending();
  }

  static bool WaitForSendToEnd() {
    return PumpUntil([] {
      return appState.sendThread.load() == nullptr && appState.recorderState == RECORDER_IDLE &&
             IsEnabled(PanelControl(IDC_SEND));
    });
  }

  static bool ClearAttachmentItemGrayed() {
    // EnableMenuItem answers the state it replaces; putting the same state back keeps it.
    const UINT previous = EnableMenuItem(appState.menu, IDM_CLEAR_ATTACHMENT, MF_GRAYED);
    EnableMenuItem(appState.menu, IDM_CLEAR_ATTACHMENT, previous & MF_GRAYED);
    return (previous & MF_GRAYED) != 0;
  }

  // PBM_SETRANGE answers the range it replaces; putting that back keeps it.
  static int ProgressMaximum() {
    const HWND bar = PanelControl(IDC_PROGRESS);
    const LRESULT range = SendMessageW(bar, PBM_SETRANGE, 0, MAKELONG(0, 1));
    SendMessageW(bar, PBM_SETRANGE, 0, range);
    return HIWORD(range);
  }

  static std::u16string LoadText(int id) {
    WCHAR text[512] = {};
    LoadStringW(nullptr, static_cast<UINT>(id), text, 512);
    return text;
  }

  // Records at least two chunks, optionally presses Stop, and sends at once with an empty
  // text; the frames the server answered, once the send went through without a message.
  long RecordThenSend(bool stopFirst) {
    murmel::testing::Click(PanelControl(IDC_RECORD));
    EXPECT_TRUE(PumpUntil([] { return appState.voiceChunkCount >= 2; }));

    FakeTransferServer server;
    server.AcceptGreeting().AnswerEveryFrame("TROK").Start();
    UseServer(server);
    FillForm(u"carol@example.org", u"Voice", u"");
    if (stopFirst) murmel::testing::Click(PanelControl(IDC_STOP));
    PressSend();
    EXPECT_TRUE(WaitForSendToEnd());
    server.Finish();

    EXPECT_TRUE(murmel::testing::MessageBoxesShown().empty());
    EXPECT_EQ(appState.waveDeviceOpen, 0);
    return server.answered();
  }

  // After the greeting: LOCL, TYPE, SEND, RECI, TITL; FLSZ, FLTP, the WAV header's FLBG and
  // one FLCN per chunk; CHCK and FINI.
  static long FramesOfVoiceMessage(int chunks) { return 5 + 3 + chunks + 2; }
};

TEST_F(SendButtonTest, AcceptedMessageEmptiesTheFormAndGraysClearAttachment) {
  FakeTransferServer server;
  server.AcceptGreeting().AnswerEveryFrame("TROK").Start();
  UseServer(server);
  FillForm(u"carol@example.org; dan@example.org", u"Lunch", u"See you at noon");

  PressSend();
  ASSERT_TRUE(WaitForSendToEnd());
  server.Finish();

  EXPECT_TRUE(murmel::testing::MessageBoxesShown().empty());
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
  FakeTransferServer server(0, /*listen_now=*/false);  // bound but refusing
  UseServer(server);
  FillForm(u"carol@example.org", u"Lunch", u"See you at noon");

  PressSend();
  ASSERT_TRUE(WaitForSendToEnd());
  // Once the message is read, the panel shows the recorder's range and time again.
  EXPECT_EQ(ProgressMaximum(), 200);
  EXPECT_EQ(WindowText(PanelControl(IDC_TIME_DISPLAY)), u"0.0s");

  const auto boxes = murmel::testing::MessageBoxesShown();
  ASSERT_EQ(boxes.size(), 1U);
  EXPECT_EQ(boxes[0].text, LoadText(IDS_CONNECT_FAILED));
  EXPECT_EQ(boxes[0].caption, u"Murmelpost");
  EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_ICONHAND | MB_OK));
  EXPECT_EQ(WindowText(MainControl(IDC_SUBJECT)), u"Lunch");
  EXPECT_EQ(WindowText(MainControl(IDC_MESSAGE_TEXT)), u"See you at noon");
  EXPECT_FALSE(ClearAttachmentItemGrayed());
}

TEST_F(SendButtonTest, StopCancelsSilentlyAndKeepsEverything) {
  FakeTransferServer server;
  // Every envelope command is accepted; then the text's data frame is asked again forever.
  server.AcceptGreeting();
  for (int i = 0; i < 7; ++i) server.Reply("TROK");
  server.AnswerEveryFrame("RETR").Start();
  UseServer(server);
  FillForm(u"carol@example.org", u"Lunch", u"See you at noon");

  PressSend();
  ASSERT_TRUE(PumpUntil([&] { return server.answered() > 3; }));
  EXPECT_FALSE(IsEnabled(PanelControl(IDC_SEND)));
  EXPECT_FALSE(IsEnabled(MainControl(IDC_SUBJECT)));
  EXPECT_TRUE(IsEnabled(PanelControl(IDC_STOP)));
  murmel::testing::Click(PanelControl(IDC_STOP));
  ASSERT_TRUE(WaitForSendToEnd());

  EXPECT_TRUE(murmel::testing::MessageBoxesShown().empty());
  EXPECT_EQ(WindowText(MainControl(IDC_RECIPIENTS)), u"carol@example.org");
  EXPECT_EQ(WindowText(MainControl(IDC_SUBJECT)), u"Lunch");
  EXPECT_EQ(WindowText(MainControl(IDC_MESSAGE_TEXT)), u"See you at noon");
  EXPECT_FALSE(ClearAttachmentItemGrayed());
}

TEST_F(SendButtonTest, NothingToSendShowsNoMessageExist) {
  FillForm(u"carol@example.org", u"Lunch", u"");
  PressSend();
  const auto boxes = murmel::testing::MessageBoxesShown();
  ASSERT_EQ(boxes.size(), 1U);
  EXPECT_EQ(boxes[0].text, u"No message exist");
  EXPECT_EQ(boxes[0].caption, u"Info");
  EXPECT_EQ(boxes[0].owner, appState.mainWindow);
  EXPECT_EQ(appState.sendThread.load(), nullptr);
  EXPECT_TRUE(IsEnabled(MainControl(IDC_RECIPIENTS)));
}

TEST_F(SendButtonTest, InvalidRecipientsMoveTheFocusWithoutAMessage) {
  const char16_t* refused[] = {u"", u"ab", u"carol.example.org", u"@example.org", u"carol@"};
  for (const char16_t* to : refused) {
    SCOPED_TRACE(std::string(to, to + std::char_traits<char16_t>::length(to)));
    SetFocus(MainControl(IDC_SUBJECT));
    FillForm(to, u"Lunch", u"text");
    PressSend();
    EXPECT_TRUE(murmel::testing::MessageBoxesShown().empty());
    EXPECT_EQ(GetFocus(), MainControl(IDC_RECIPIENTS));
    EXPECT_EQ(appState.sendThread.load(), nullptr);
    EXPECT_TRUE(IsEnabled(MainControl(IDC_SUBJECT)));
  }
}

TEST_F(SendButtonTest, SendDuringPlaybackStopsItAndSendsTheRecording) {
  murmel::testing::Click(PanelControl(IDC_RECORD));
  ASSERT_TRUE(PumpUntil([] { return appState.voiceChunkCount >= 3; }));
  murmel::testing::Click(PanelControl(IDC_STOP));
  ASSERT_TRUE(PumpUntil([] { return appState.recordingAvailable == 1; }));
  const int chunks = appState.voiceChunkCount;
  murmel::testing::Click(PanelControl(IDC_PLAY));
  ASSERT_EQ(appState.recorderState.load(), RECORDER_PLAYING);

  FakeTransferServer server;
  server.AcceptGreeting().AnswerEveryFrame("TROK").Start();
  UseServer(server);
  FillForm(u"carol@example.org", u"Voice", u"");
  PressSend();
  ASSERT_TRUE(WaitForSendToEnd());
  server.Finish();

  EXPECT_TRUE(murmel::testing::MessageBoxesShown().empty());
  EXPECT_EQ(appState.waveDeviceOpen, 0);
  EXPECT_EQ(appState.recordingAvailable.load(), 0);
  EXPECT_TRUE(IsEnabled(PanelControl(IDC_RECORD)));
  EXPECT_EQ(server.answered(), FramesOfVoiceMessage(chunks));
}

TEST_F(SendButtonTest, SendDuringRecordingSendsWhatWasRecorded) {
  EXPECT_GE(RecordThenSend(/*stopFirst=*/false), FramesOfVoiceMessage(2));
  // The recorder is closed: a new recording starts.
  murmel::testing::Click(PanelControl(IDC_RECORD));
  EXPECT_EQ(appState.recorderState.load(), RECORDER_RECORDING);
}

// Stop hands the recorder its last buffers back later; a Send before they come back still
// finds the recording, not an empty form.
TEST_F(SendButtonTest, SendRightAfterStopSendsTheRecording) {
  EXPECT_GE(RecordThenSend(/*stopFirst=*/true), FramesOfVoiceMessage(2));
}

}  // namespace
}  // namespace shell_test
