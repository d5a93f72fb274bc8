// The main window as start-up leaves it: controls in place, the text box fitted to the
// input panel, the recipient list from the address book, the colour set chosen.
#include <aygshell.h>

#include <string>

#include "shell/running_client.h"
#include "support/scoped_env.h"

namespace shell_test {
namespace {

class MainWindowTest : public RunningClientTest {};

RECT ScreenRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

int Height(HWND window) {
  const RECT rect = ScreenRect(window);
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

TEST_F(MainWindowTest, WindowAndControlsSitAtTheirPlaces) {
  const RECT window = ScreenRect(appState.mainWindow);
  EXPECT_EQ(window.right - window.left, 240);
  EXPECT_EQ(window.bottom - window.top, 294);
  EXPECT_EQ(WindowText(appState.mainWindow), u"Murmelpost Voice Email");

  // The window's thin border puts its client area one pixel in.
  const RECT client{window.left + 1, window.top + 1, window.right - 1, window.bottom - 1};
  const RECT panelRect = ScreenRect(MainControl(IDC_BUTTON_PANEL));
  struct Placed {
    const char* name;
    HWND control;
    RECT origin;  // the parent's client area on the screen
    int x, y, width, height;
  };
  const Placed placed[] = {
      {"panel", MainControl(IDC_BUTTON_PANEL), client, 7, 35, 227, 75},
      {"recipients", MainControl(IDC_RECIPIENTS), client, 70, 114, 160, -1},
      {"subject", MainControl(IDC_SUBJECT), client, 70, 136, 160, 20},
      {"text", MainControl(IDC_MESSAGE_TEXT), client, 10, 158, 220, 79},
      {"option", MainControl(IDC_OPTION), client, 175, 4, 25, 25},
      {"help", MainControl(IDC_HELP), client, 205, 4, 25, 25},
      {"record", PanelControl(IDC_RECORD), panelRect, 16, 5, 43, 43},
      {"stop", PanelControl(IDC_STOP), panelRect, 65, 5, 43, 43},
      {"play", PanelControl(IDC_PLAY), panelRect, 114, 5, 43, 43},
      {"send", PanelControl(IDC_SEND), panelRect, 164, 5, 43, 43},
      {"progress", PanelControl(IDC_PROGRESS), panelRect, 15, 60, 142, 8},
      {"time", PanelControl(IDC_TIME_DISPLAY), panelRect, 167, 55, 36, 14},
  };
  SetInputPanel(false);
  for (const Placed& p : placed) {
    SCOPED_TRACE(p.name);
    ASSERT_NE(p.control, nullptr);
    const RECT rect = ScreenRect(p.control);
    EXPECT_EQ(rect.left - p.origin.left, p.x);
    EXPECT_EQ(rect.top - p.origin.top, p.y);
    EXPECT_EQ(rect.right - rect.left, p.width);
    if (p.height >= 0) {
      EXPECT_EQ(rect.bottom - rect.top, p.height);
    }
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
