#include <QWidget>
#include <algorithm>

#include "gui_test_support.h"

namespace gui_test {
namespace {

long SettingChangesTo(HWND window) {
  const std::vector<WPARAM> changes = ParamsOf(window, WM_SETTINGCHANGE);
  return std::count(changes.begin(), changes.end(), WPARAM{SPI_SETSIPINFO});
}

class InputPanelTest : public GuiTest {
 protected:
  void TearDown() override {
    SetSip(false);
    GuiTest::TearDown();
  }
};

TEST_F(InputPanelTest, VisibleDesktopAndSettingChangeFollowThePanel) {
  struct Step {
    bool raise;
    LONG bottom;
  };
  for (const Step& step : {Step{true, 214}, Step{false, 294}, Step{true, 214}}) {
    Log().clear();
    ASSERT_TRUE(SetSip(step.raise));
    const SIPINFO info = CurrentSip();
    EXPECT_EQ((info.fdwFlags & SIPF_ON) != 0, step.raise);
    EXPECT_EQ(EdgesOf(info.rcVisibleDesktop), (Edges{0, 26, 240, step.bottom}));
    EXPECT_EQ(SettingChangesTo(top_), 1);
    EXPECT_EQ(murmel::testing::ScreenPart("input_panel")->isVisible(), step.raise);
  }
}

TEST_F(InputPanelTest, TheMenuBarButtonRaisesAndLowersThePanel) {
  SHMENUBARINFO bar{};
  bar.cbSize = sizeof(bar);
  bar.hwndParent = top_;
  bar.dwFlags = SHCMBF_EMPTYBAR;
  ASSERT_TRUE(SHCreateMenuBar(&bar));
  QWidget* button = murmel::testing::ScreenPart("input_panel_button");
  ASSERT_NE(button, nullptr);
  ASSERT_TRUE(button->isVisible());

  murmel::testing::Click(button);
  EXPECT_NE(CurrentSip().fdwFlags & SIPF_ON, 0u);
  EXPECT_EQ(CurrentSip().rcVisibleDesktop.bottom, 214);
  EXPECT_EQ(SettingChangesTo(top_), 1);
  murmel::testing::Click(button);
  EXPECT_EQ(CurrentSip().fdwFlags & SIPF_ON, 0u);
  EXPECT_EQ(SettingChangesTo(top_), 2);
}

TEST_F(InputPanelTest, SoftKeysTypeIntoTheFocusedEditBox) {
  const HWND subject = Child(u"EDIT", ES_AUTOHSCROLL, 60001, 70, 136, 160, 20);
  const HWND combo = Child(u"COMBOBOX", CBS_DROPDOWN, 60000, 70, 114, 160, 100);
  ASSERT_TRUE(SetSip(true));
  SetFocus(subject);
  for (const char* key : {"key_h", "key_i", "key_space", "key_2", "key_\u2190"}) {
    QWidget* soft_key = murmel::testing::ScreenPart(key);
    ASSERT_NE(soft_key, nullptr) << key;
    murmel::testing::Click(soft_key);
  }
  EXPECT_EQ(TextOf(subject), u"hi ");
  EXPECT_EQ(GetFocus(), subject);  // the keys never take the focus

  // In the recipient box, soft keys are the user's typing: edit-change notifications.
  SetFocus(combo);
  Log().clear();
  murmel::testing::Click(murmel::testing::ScreenPart("key_a"));
  ASSERT_EQ(CommandsTo(top_).size(), 1u);
  EXPECT_EQ(CommandsTo(top_)[0], (Command{60000, CBN_EDITCHANGE}));
}

TEST_F(InputPanelTest, SipCallsCheckTheirStructure) {
  SIPINFO info{};
  info.cbSize = 12;
  EXPECT_FALSE(SHSipInfo(SPI_GETSIPINFO, 0, &info, 0));
  EXPECT_FALSE(SHSipInfo(SPI_GETSIPINFO, 0, nullptr, 0));
  info.cbSize = 48;  // what the device's programs pass
  EXPECT_TRUE(SHSipInfo(SPI_GETSIPINFO, 0, &info, 0));
}

}  // namespace
}  // namespace gui_test
