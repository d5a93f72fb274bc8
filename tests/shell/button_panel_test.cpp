// The Record, Stop and Play buttons enable and disable each other as the user presses
// them, recording from and playing into the file audio device.
#include <functional>
#include <string>
#include <vector>

#include "shell/running_client.h"

namespace shell_test {
namespace {

struct Enabled {
  bool record;
  bool stop;
  bool play;
  bool send;
  bool boxes;  // recipient, subject and text boxes
};

bool operator==(const Enabled& a, const Enabled& b) {
  return a.record == b.record && a.stop == b.stop && a.play == b.play && a.send == b.send &&
         a.boxes == b.boxes;
}

std::ostream& operator<<(std::ostream& out, const Enabled& e) {
  return out << "record " << e.record << ", stop " << e.stop << ", play " << e.play << ", send "
             << e.send << ", boxes " << e.boxes;
}

Enabled Observe() {
  return {IsEnabled(PanelControl(IDC_RECORD)), IsEnabled(PanelControl(IDC_STOP)),
          IsEnabled(PanelControl(IDC_PLAY)), IsEnabled(PanelControl(IDC_SEND)),
          IsEnabled(MainControl(IDC_RECIPIENTS)) && IsEnabled(MainControl(IDC_SUBJECT)) &&
              IsEnabled(MainControl(IDC_MESSAGE_TEXT))};
}

void Press(int id) {
  murmel::testing::Click(PanelControl(id));
  PumpPending();
}

// Each step is what the user does and how the panel then looks.
struct Step {
  const char* event;
  std::function<void()> act;
  Enabled expected;
};

class ButtonPanelTest : public RunningClientTest {};

TEST_F(ButtonPanelTest, ButtonsFollowTheEnablingTableEventByEvent) {
  const auto recordTwoChunks = [] {
    Press(IDC_RECORD);
    ASSERT_TRUE(PumpUntil([] { return appState.voiceChunkCount >= 2; }));
  };
  const Step steps[] = {
      {"at start", [] {}, {true, true, true, true, true}},
      {"record pressed, recording started",
       [] { Press(IDC_RECORD); },
       {true, true, false, true, true}},
      {"stop pressed while recording", [] { Press(IDC_STOP); }, {true, true, true, true, true}},
      {"input device closed",
       [] { PumpUntil([] { return appState.waveDeviceOpen == 0; }); },
       {true, true, true, true, true}},
      {"recording of two chunks", recordTwoChunks, {true, true, false, true, true}},
      {"stopped again",
       [] {
         Press(IDC_STOP);
         PumpUntil([] { return appState.recordingAvailable == 1; });
       },
       {true, true, true, true, true}},
      {"play pressed, playback started", [] { Press(IDC_PLAY); }, {false, true, true, true, true}},
      {"play pressed again while playing changes nothing",
       [] { Press(IDC_PLAY); },
       {false, true, true, true, true}},
      {"last buffer played",
       [] {
         PumpUntil([] {
           return appState.recorderState == RECORDER_IDLE && appState.waveDeviceOpen == 0;
         });
       },
       {true, true, true, true, true}},
      {"play, then stop",
       [] {
         Press(IDC_PLAY);
         Press(IDC_STOP);
       },
       {true, true, true, true, true}},
      {"stop while idle", [] { Press(IDC_STOP); }, {true, true, true, true, true}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.event);
    step.act();
    EXPECT_EQ(Observe(), step.expected);
  }
}

TEST_F(ButtonPanelTest, StopWhileIdleOnlyEnablesRecordAndPlay) {
  EnableWindow(PanelControl(IDC_RECORD), FALSE);
  EnableWindow(PanelControl(IDC_PLAY), FALSE);
  EnableWindow(PanelControl(IDC_SEND), FALSE);
  SetWindowTextW(MainControl(IDC_SUBJECT), u"kept");
  Press(IDC_STOP);
  EXPECT_EQ(Observe(), (Enabled{true, true, true, false, true}));
  EXPECT_EQ(WindowText(MainControl(IDC_SUBJECT)), u"kept");
  EXPECT_EQ(appState.recorderState.load(), RECORDER_IDLE);
}

TEST_F(ButtonPanelTest, StopBeforeTheFirstBufferLeavesNothingToPlay) {
  Press(IDC_RECORD);
  Press(IDC_STOP);
  ASSERT_TRUE(PumpUntil([] { return appState.waveDeviceOpen == 0; }));
  EXPECT_EQ(appState.recordingAvailable.load(), 0);
  Press(IDC_PLAY);
  EXPECT_EQ(appState.recorderState.load(), RECORDER_IDLE);
  EXPECT_NE(WindowText(PanelControl(IDC_TIME_DISPLAY)).find(u"0.0s"), std::u16string::npos);
}

}  // namespace
}  // namespace shell_test
