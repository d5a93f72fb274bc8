// The main window as start-up leaves it: the text box fitted to the input panel, the
// colour set chosen.
#include <aygshell.h>

#include <string>

#include "shell/running_client.h"
#include "support/scoped_env.h"

namespace shell_test {
namespace {

class MainWindowTest : public RunningClientTest {};

int Height(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect.bottom - rect.top;
}

void SetInputPanel(bool raised) {
  SIPINFO sip{};
  sip.cbSize = sizeof(sip);
  SHSipInfo(SPI_GETSIPINFO, 0, &sip, 0);
  if (((sip.fdwFlags & SIPF_ON) != 0) == raised) return;
  // The user taps the input panel button under the screen.
  murmel::testing::Click(murmel::testing::ScreenPart("input_panel_button"));
  PumpPending();
}

TEST_F(MainWindowTest, TextBoxFollowsTheInputPanel) {
  struct Case {
    bool raised;
    int visibleHeight;
    int textHeight;
  };
  // Lowered: (0,26)-(240,294); raised: (0,26)-(240,214).
  const Case cases[] = {{false, 268, 79}, {true, 188, 28}, {false, 268, 79}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.raised ? "raised" : "lowered");
    SetInputPanel(c.raised);
    SIPINFO sip{};
    sip.cbSize = sizeof(sip);
    SHSipInfo(SPI_GETSIPINFO, 0, &sip, 0);
    ASSERT_EQ(sip.rcVisibleDesktop.bottom - sip.rcVisibleDesktop.top, c.visibleHeight);
    EXPECT_EQ(Height(MainControl(IDC_MESSAGE_TEXT)), c.textHeight);
  }
}

TEST_F(MainWindowTest, PaletteScreensTakeTheLowColourBitmaps) {
  struct Case {
    const char* colors;
    int offset;
  };
  const Case cases[] = {{"16", 100}, {"20", 100}, {"255", 100}, {"-1", 0}, {"256", 0}, {"0", 0}};
  const int kept = appState.bitmapIdOffset;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.colors);
    murmel::test::ScopedEnv colors("MURMELPOST_SCREEN_COLORS", c.colors);
    DetectColorDepth();
    EXPECT_EQ(appState.bitmapIdOffset, c.offset);
  }
  appState.bitmapIdOffset = kept;
}

}  // namespace
}  // namespace shell_test
