// Menus: templates, enabling by command, and the pop-up's choice, placement and modality.
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "gui_test_support.h"
#include "platform/gui/testing/testing_shell.h"
#include "win/gui_menu_template.h"

namespace gui_test {
namespace {

using murmel::resources::MenuItem;
using murmel::resources::MenuSeparator;
using murmel::resources::Popup;
namespace ui = murmel::testing;

constexpr WORD kMenuId = 9103;
constexpr WORD kOpen = 100;
constexpr WORD kClear = 101;
constexpr WORD kExit = 102;
constexpr WORD kAbout = 200;

const std::vector<BYTE>& SampleTemplate() {
  static const std::vector<BYTE> bytes = murmel::resources::MenuTemplate({
      Popup(u"FILE", {MenuItem(u"Open...", kOpen), MenuItem(u"Clear", kClear, MF_GRAYED),
                      MenuSeparator(), MenuItem(u"Exit", kExit)}),
      Popup(u"HELP", {MenuItem(u"About...", kAbout)}),
  });
  return bytes;
}

// Registers `bytes` as menu resource `id` and loads it. Each malformed case gets its own
// resource, sized exactly, so a bad read would overrun.
HMENU LoadFromBytes(const std::vector<BYTE>& bytes, WORD id) {
  static std::vector<std::vector<BYTE>> kept;
  kept.push_back(bytes);
  const MURMEL_RESOURCE entry{RT_MENU, id, kept.back().data(),
                              static_cast<DWORD>(kept.back().size())};
  RegisterResourceTable(&entry, 1);
  return LoadMenuW(nullptr, MAKEINTRESOURCEW(id));
}

class MenuTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    menu_ = LoadMenuIndirectW(SampleTemplate().data());
    ASSERT_NE(menu_, nullptr);
  }
  void TearDown() override {
    DestroyMenu(menu_);
    GuiTest::TearDown();
  }

  // Runs `user` once the menu is on the screen, then opens the FILE pop-up.
  BOOL Track(UINT flags, int x, int y, const std::function<void()>& user) {
    QTimer::singleShot(0, [user] { user(); });
    return TrackPopupMenuEx(GetSubMenu(menu_, 0), flags, x, y, top_, nullptr);
  }

  HMENU menu_ = nullptr;
};

TEST_F(MenuTest, TemplatesLoadFromResourcesAndMalformedOnesAreRefused) {
  const std::vector<BYTE>& good = SampleTemplate();
  EXPECT_NE(LoadFromBytes(good, kMenuId), nullptr);
  std::vector<BYTE> wrong_version = good;
  wrong_version[0] = 1;
  std::vector<BYTE> no_end = murmel::resources::MenuTemplate({MenuItem(u"Only", 1)});
  no_end[4] = 0;  // the item loses MF_END: the items run past the end
  const struct {
    const char* what;
    std::vector<BYTE> bytes;
  } cases[] = {
      {"empty", {}},
      {"wrong version", wrong_version},
      {"cut inside a text", std::vector<BYTE>(good.begin(), good.begin() + 9)},
      {"cut before the last item ends", std::vector<BYTE>(good.begin(), good.end() - 2)},
      {"last item without MF_END", no_end},
  };
  WORD id = 9200;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetLastError(0);
    EXPECT_EQ(LoadFromBytes(c.bytes, id++), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
  }
  SetLastError(0);
  EXPECT_EQ(LoadMenuW(nullptr, MAKEINTRESOURCEW(9999)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

// The template's gray survives loading: EnableMenuItem answers with the state before.
TEST_F(MenuTest, LoadedMenuKeepsItsPopupsAndEnablesByCommandOrPosition) {
  const HMENU menu = menu_;
  const HMENU file = GetSubMenu(menu, 0);
  EXPECT_EQ(GetMenuItemCount(menu), 2);
  EXPECT_EQ(GetMenuItemCount(GetSubMenu(menu, 1)), 1);
  const struct {
    const char* what;
    HMENU menu;
    UINT item, how;
    BOOL previous;
  } steps[] = {
      {"the template's gray", file, kClear, MF_BYCOMMAND | MF_GRAYED, MF_GRAYED},
      {"gray by command through the top menu", menu, kExit, MF_BYCOMMAND | MF_GRAYED, MF_ENABLED},
      {"the gray stuck", file, kExit, MF_BYCOMMAND | MF_ENABLED, MF_GRAYED},
      {"by position in the pop-up", file, 1, MF_BYPOSITION | MF_ENABLED, MF_GRAYED},
      {"disable by position", file, 1, MF_BYPOSITION | MF_DISABLED, MF_ENABLED},
      {"disabled, not grayed", file, kClear, MF_BYCOMMAND | MF_ENABLED, MF_DISABLED},
      {"no such command", menu, 4242, MF_BYCOMMAND | MF_GRAYED, -1},
      {"no such position", file, 9, MF_BYPOSITION | MF_GRAYED, -1},
      {"command of another pop-up is not in this one", file, kAbout, MF_BYCOMMAND, -1},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.what);
    EXPECT_EQ(EnableMenuItem(s.menu, s.item, s.how), s.previous);
  }
  EXPECT_TRUE(DestroyMenu(menu));
  // The pop-ups go with their menu.
  SetLastError(0);
  EXPECT_EQ(EnableMenuItem(file, kOpen, MF_BYCOMMAND), -1);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_MENU_HANDLE});
  EXPECT_FALSE(DestroyMenu(menu));
}

// The choice is posted, not sent: nothing reaches the window before its queue runs.
TEST_F(MenuTest, OnlyEnabledCommandsCanBeChosenAndArriveAsPostedCommands) {
  const struct {
    const char* what;
    UINT flags;
    std::vector<const char16_t*> clicks;  // nullptr: dismiss
    BOOL result;
    std::vector<WPARAM> commands;
  } cases[] = {
      // Grayed items and separators keep the menu open for a real choice.
      {"grayed, separator, then open", 0, {u"Clear", u"", u"Open..."}, TRUE, {kOpen}},
      {"dismissed", 0, {nullptr}, TRUE, {}},
      {"dismissed, returning the command", TPM_RETURNCMD, {nullptr}, 0, {}},
      {"chosen, returning the command", TPM_RETURNCMD, {u"Exit"}, kExit, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Log().clear();
    EXPECT_EQ(Track(TPM_LEFTALIGN | c.flags, 10, 40,
                    [&] {
                      EXPECT_EQ(ui::PopupMenuTexts(),
                                (std::vector<std::u16string>{u"Open...", u"Clear", u"", u"Exit"}));
                      for (const char16_t* item : c.clicks) {
                        ASSERT_NE(ui::OpenPopupMenu(), nullptr);
                        if (item == nullptr) {
                          ui::DismissPopupMenu();
                        } else {
                          EXPECT_TRUE(ui::ClickPopupMenuItem(item));
                        }
                      }
                    }),
              c.result);
    EXPECT_EQ(ui::OpenPopupMenu(), nullptr);
    EXPECT_TRUE(CommandsTo(top_).empty());
    DispatchPending();
    EXPECT_EQ(ParamsOf(top_, WM_COMMAND), c.commands);
  }
}

// Drawn into the emulated screen's own picture (a black border round white rows), at the
// named corner, and kept on the screen.
TEST_F(MenuTest, DrawnOnTheScreenAtTheNamedCornerAndKeptOnIt) {
  enum Corner { kRightTop, kLeftTop, kLeftBottom, kOnScreen };  // kOnScreen: only kept on it
  const struct {
    UINT flags;
    int x, y;
    Corner corner;
  } cases[] = {
      {TPM_RIGHTALIGN, 205, 55, kRightTop},
      {TPM_LEFTALIGN, 20, 55, kLeftTop},
      {TPM_LEFTALIGN | TPM_BOTTOMALIGN, 20, 250, kLeftBottom},
      {TPM_RIGHTALIGN, 2, 318, kOnScreen},
      {TPM_RIGHTALIGN, 238, 318, kOnScreen},
      {TPM_RIGHTALIGN, 0, 0, kOnScreen},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
    Track(c.flags, c.x, c.y, [&] {
      const QRect frame = ui::OpenPopupMenu()->geometry();
      EXPECT_TRUE(QRect(0, 0, 240, 320).contains(frame));
      if (c.corner != kOnScreen) {
        const QImage screen = ui::Screen()->grab().toImage();
        EXPECT_EQ(screen.pixelColor(frame.topLeft()), QColor(Qt::black));
        EXPECT_EQ(screen.pixelColor(frame.left() + 3, frame.top() + 3), QColor(Qt::white));
        EXPECT_EQ(c.corner == kRightTop ? frame.x() + frame.width() : frame.x(), c.x);
        EXPECT_EQ(c.corner == kLeftBottom ? frame.y() + frame.height() : frame.y(), c.y);
      }
      ui::DismissPopupMenu();  // what ends the pop-up
    });
  }
}

}  // namespace
}  // namespace gui_test
