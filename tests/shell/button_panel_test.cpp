// The Record, Stop and Play buttons enable and disable each other as the user presses
// them, recording from and playing into the file audio device.
#include <functional>
#include <string>

#include "shell/running_client.h"

namespace shell_test {
namespace {

// Which of record, stop, play, send and the three text boxes are enabled: "11111" for all.
std::string Observe() {
  std::string enabled;
  for (const HWND control : {PanelControl(IDC_RECORD), PanelControl(IDC_STOP),
                             PanelControl(IDC_PLAY), PanelControl(IDC_SEND)}) {
    enabled += IsEnabled(control) ? '1' : '0';
  }
  const bool boxes = IsEnabled(MainControl(IDC_RECIPIENTS)) &&
                     IsEnabled(MainControl(IDC_SUBJECT)) &&
                     IsEnabled(MainControl(IDC_MESSAGE_TEXT));
  return enabled + (boxes ? '1' : '0');
}

void Press(int id) {
  murmel::testing::Click(PanelControl(id));
  PumpPending();
}

class ButtonPanelTest : public RunningClientTest {};

TEST_F(ButtonPanelTest, ButtonsFollowTheEnablingTableEventByEvent) {
  const auto recordTwoChunks = [] {
    Press(IDC_RECORD);
    ASSERT_TRUE(PumpUntil([] { return appState.voiceChunkCount >= 2; }));
  };
  // Each step is what the user does and how the panel then looks.
  const struct {
    const char* event;
    std::function<void()> act;
    const char* expected;
  } steps[] = {
      {"at start", [] {}, "11111"},
      {"record pressed, recording started", [] { Press(IDC_RECORD); }, "11011"},
      {"stop pressed while recording", [] { Press(IDC_STOP); }, "11111"},
      {"input device closed", [] { PumpUntil([] { return appState.waveDeviceOpen == 0; }); },
       "11111"},
      {"recording of two chunks", recordTwoChunks, "11011"},
      {"stopped again",
       [] {
         Press(IDC_STOP);
         PumpUntil([] { return appState.recordingAvailable == 1; });
       },
       "11111"},
      {"play pressed, playback started", [] { Press(IDC_PLAY); }, "01111"},
      {"play pressed again while playing changes nothing", [] { Press(IDC_PLAY); }, "01111"},
      {"last buffer played",
       [] {
         PumpUntil([] {
           return appState.recorderState == RECORDER_IDLE && appState.waveDeviceOpen == 0;
         });
       },
       "11111"},
      {"play, then stop",
       [] {
         Press(IDC_PLAY);
         Press(IDC_STOP);
       },
       "11111"},
      {"stop while idle", [] { Press(IDC_STOP); }, "11111"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.event);
    step.act();
    EXPECT_EQ(Observe(), step.expected);
  }
}

}  // namespace
}  // namespace shell_test
