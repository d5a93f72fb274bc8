#include <QImage>
#include <QWidget>
#include <algorithm>

#include "gui_test_support.h"

namespace gui_test {
namespace {

TEST_F(GuiTest, CreationSendsCreateStructAndRefusalsAreDestroyedOrReported) {
  LRESULT refuse = -1;
  EXPECT_EQ(CreateWindowExW(0, kRecordingClass, u"No", 0, 0, 26, 50, 50, nullptr, nullptr, nullptr,
                            &refuse),
            nullptr);
  ASSERT_FALSE(Log().empty());
  EXPECT_EQ(Log().front().message, static_cast<UINT>(WM_CREATE));
  EXPECT_FALSE(IsWindow(Log().front().window));

  Log().clear();
  const HWND child = Child(kRecordingClass, 0, 77, 5, 6, 30, 40, u"kid");
  ASSERT_NE(child, nullptr);
  const auto& created = Log().front();
  ASSERT_EQ(created.message, static_cast<UINT>(WM_CREATE));
  const CREATESTRUCTW* cs = &created.create;
  EXPECT_EQ((Edges{cs->x, cs->y, cs->cx, cs->cy}), (Edges{5, 6, 30, 40}));
  EXPECT_EQ(cs->hwndParent, top_);
  EXPECT_EQ(GetDlgItem(top_, 77), child);
  EXPECT_EQ(GetParent(child), top_);
  // Unknown classes, orphan children and a second class of the same name are refused.
  SetLastError(0);
  EXPECT_EQ(Child(u"NoSuchClass", 0, 1), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
  EXPECT_EQ(ChildOf(nullptr, u"STATIC", 0, 0, 0, 10, 10), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TLW_WITH_WSCHILD));
  EXPECT_FALSE(Register(u"guitestrecorder", RecordingProc));  // class names ignore case
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
}

TEST_F(GuiTest, WindowTextIsTruncatedToTheBufferAndAlwaysTerminated) {
  for (HWND window : {top_, Child(u"STATIC", 0, 1), Child(u"EDIT", 0, 2)}) {
    ASSERT_TRUE(SetWindowTextW(window, u"Murmelpost Voice Email"));
    EXPECT_EQ(GetWindowTextLengthW(window), 22);
    WCHAR small[8];
    std::fill(std::begin(small), std::end(small), u'#');  // a missing terminator shows
    EXPECT_EQ(GetWindowTextW(window, small, 8), 7);
    EXPECT_EQ(std::u16string(small), u"Murmelp");
  }
}

TEST_F(GuiTest, BorderIsDrawnInsideTheWindowAndShrinksTheClientArea) {
  const struct {
    DWORD style;
    int inset;
    QColor edge;
  } cases[] = {{0, 0, Qt::white}, {WS_BORDER, 1, Qt::black}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.inset);
    // The default procedure leaves erasing to the platform, which paints the client white.
    const HWND window = TopLevelWith(u"GuiTestPlain", DefWindowProcW, c.style);
    ASSERT_NE(window, nullptr);
    const HWND child = ChildOf(window, kRecordingClass, 0, 0, 0, 10, 10);
    EXPECT_EQ(ClientEdges(window), (Edges{0, 0, 240 - 2 * c.inset, 294 - 2 * c.inset}));
    EXPECT_EQ(WindowEdges(child), (Edges{c.inset, 26 + c.inset, 10 + c.inset, 36 + c.inset}));
    ASSERT_TRUE(MoveWindow(window, 0, 26, 200, 100, TRUE));
    EXPECT_EQ(ClientEdges(window), (Edges{0, 0, 200 - 2 * c.inset, 100 - 2 * c.inset}));
    const QImage shown = murmel::testing::WidgetOf(window)->grab().toImage();
    EXPECT_EQ(shown.pixelColor(0, 50), c.edge);
    EXPECT_EQ(shown.pixelColor(199, 99), c.edge);
    EXPECT_EQ(shown.pixelColor(100, 50), QColor(Qt::white));
    DestroyWindow(window);
  }
}

TEST_F(GuiTest, DestroyTellsParentThenChildrenAndInvalidatesBoth) {
  const HWND child = Child(kRecordingClass, 0, 3);
  Log().clear();
  ASSERT_TRUE(DestroyWindow(top_));
  ASSERT_GE(Log().size(), 2u);
  EXPECT_EQ(Log()[0].window, top_);
  EXPECT_EQ(Log()[0].message, static_cast<UINT>(WM_DESTROY));
  EXPECT_EQ(Log()[1].window, child);
  EXPECT_EQ(Log()[1].message, static_cast<UINT>(WM_DESTROY));
  EXPECT_FALSE(IsWindow(top_));
  EXPECT_FALSE(IsWindow(child));
}

// The panel of the client: a static control whose procedure is replaced, seeing the
// commands of its children and handing everything else to the original procedure.
WNDPROC original_static_proc = nullptr;
std::vector<UINT> subclass_seen;

LRESULT SubclassProc(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  subclass_seen.push_back(Msg);
  if (Msg == WM_COMMAND) return 0;
  return CallWindowProcW(original_static_proc, hWnd, Msg, wParam, lParam);
}

TEST_F(GuiTest, SubclassedWindowSeesChildCommandsAndPassesTheRestOn) {
  const HWND panel = Child(u"STATIC", SS_BITMAP | SS_CENTERIMAGE, 60007, 7, 35, 227, 75);
  original_static_proc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(panel, GWL_WNDPROC));
  EXPECT_EQ(SetWindowLongPtrW(panel, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc)),
            reinterpret_cast<LONG_PTR>(original_static_proc));
  const HWND button = ChildOf(panel, u"button", 0, 5, 5, 43, 43, 30007, u"Go");
  subclass_seen.clear();
  murmel::testing::Click(button);
  ASSERT_TRUE(SetWindowTextW(panel, u"passed on"));

  EXPECT_EQ(subclass_seen, (std::vector<UINT>{WM_COMMAND, WM_SETTEXT}));
  EXPECT_EQ(TextOf(panel), u"passed on");  // the original procedure stored it
  EXPECT_TRUE(CommandsTo(top_).empty());   // the panel kept the command
}

// The menu bar's panel button is the user's way to the same switch; the client's tests
// tap it and watch the text box follow.
TEST_F(GuiTest, VisibleDesktopAndSettingChangeFollowThePanel) {
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

TEST_F(GuiTest, SoftKeysTypeIntoTheFocusedEditBox) {
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
