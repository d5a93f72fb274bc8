#include <QWidget>
#include <algorithm>

#include "gui_test_support.h"

namespace gui_test {
namespace {

class InputPanelTest : public GuiTest {
 protected:
  void TearDown() override {
    SetSip(false);
    GuiTest::TearDown();
  }
};

// The menu bar's panel button is the user's way to the same switch; the client's tests
// tap it and watch the text box follow.
TEST_F(InputPanelTest, VisibleDesktopAndSettingChangeFollowThePanel) {
  for (const auto& [raise, bottom] : {std::pair{true, 214}, {false, 294}, {true, 214}}) {
    Log().clear();
    ASSERT_TRUE(SetSip(raise));
    const SIPINFO info = CurrentSip();
    EXPECT_EQ((info.fdwFlags & SIPF_ON) != 0, raise);
    EXPECT_EQ(EdgesOf(info.rcVisibleDesktop), (Edges{0, 26, 240, bottom}));
    const std::vector<WPARAM> changes = ParamsOf(top_, WM_SETTINGCHANGE);
    EXPECT_EQ(std::count(changes.begin(), changes.end(), WPARAM{SPI_SETSIPINFO}), 1);
    EXPECT_EQ(murmel::testing::ScreenPart("input_panel")->isVisible(), raise);
  }
  SIPINFO info{};
  info.cbSize = 48;  // what the device's programs pass
  EXPECT_TRUE(SHSipInfo(SPI_GETSIPINFO, 0, &info, 0));
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
  EXPECT_EQ(CommandsTo(top_), std::vector<Command>{(Command{60000, CBN_EDITCHANGE})});
}

}  // namespace
}  // namespace gui_test
