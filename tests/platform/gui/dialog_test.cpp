#include <QLabel>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <numeric>
#include <thread>

#include "gui_test_support.h"
#include "win/dialog_template_builder.h"

namespace gui_test {
namespace {

using murmel::DialogTemplateBuilder;
using murmel::testing::Key;

DialogTemplateBuilder Dialog(murmel::DialogUnits place, DWORD ex_style = 0) {
  return DialogTemplateBuilder(DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU, ex_style, place,
                               u"Dialog", 8, u"MS Sans Serif");
}

// What a test's dialog procedure does and saw: procedures are plain functions.
struct DialogScript {
  std::function<void(HWND)> on_init;
  std::function<void(HWND, WPARAM)> on_command;
  std::function<void(HWND, UINT)> on_other;
  struct Command {
    int id, code;
    LPARAM control;
  };
  std::vector<Command> commands;
};

DialogScript script;

INT_PTR ScriptedProc(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
    case WM_INITDIALOG:
      if (script.on_init) script.on_init(hDlg);
      return TRUE;
    case WM_COMMAND:
      script.commands.push_back({LOWORD(wParam), HIWORD(wParam), lParam});
      if (script.on_command) script.on_command(hDlg, wParam);
      return TRUE;
    default:
      if (script.on_other) script.on_other(hDlg, Msg);
      return FALSE;
  }
}

// Runs `step` once the modal loop of the dialog about to open is running.
void WhileOpen(std::function<void()> step) { QTimer::singleShot(0, std::move(step)); }

QString NavigationText() {
  return static_cast<QLabel*>(murmel::testing::ScreenPart("navigation_bar"))->text();
}

class DialogTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    script = {};
  }

  INT_PTR Run(const DialogTemplateBuilder& dialog) {
    return DialogBoxIndirectParamW(nullptr, dialog.get(), top_, ScriptedProc, 0);
  }
};

TEST_F(DialogTest, ItemsLandAtThePixelRectanglesOfTheirDialogUnits) {
  // DejaVu Sans for MS Sans Serif 8 pt: 6 x 11 pixel base units.
  ASSERT_EQ(GetDialogBaseUnits(), MAKELONG(6, 11));
  DialogTemplateBuilder dialog = Dialog({10, 4, 159, 118});
  dialog.Item(DLG_CLASS_STATIC, u"1. Your e-mail address", 0xFFFF, SS_LEFT, {6, 2, 74, 8})
      .Item(DLG_CLASS_EDIT, u"", 1022, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, {45, 10, 108, 12})
      .Item(u"msctls_progress32", u"", 1050, 0, {15, 60, 142, 8});
  // Pixels relative to the dialog: left, top, right, bottom.
  const std::pair<int, Edges> expected[] = {
      {1022, {68, 14, 230, 31}},
      {1050, {23, 83, 236, 94}},
  };
  script.on_init = [&](HWND dlg) {
    // Placed from the owner's corner (0, 26): 10 x 4 units in, 159 x 118 units large.
    EXPECT_EQ(WindowEdges(dlg), (Edges{15, 26 + 6, 15 + 239, 26 + 6 + 162}));
    for (const auto& [id, edges] : expected) {
      const Edges rect = WindowEdges(GetDlgItem(dlg, id));
      EXPECT_EQ((Edges{rect[0] - 15, rect[1] - 32, rect[2] - 15, rect[3] - 32}), edges) << id;
    }
    EXPECT_EQ(TextOf(GetDlgItem(dlg, 0xFFFF)), u"1. Your e-mail address");
    EndDialog(dlg, 42);
  };
  EXPECT_EQ(Run(dialog), 42);
}

// The address book's arrangement: the entry field makes Add the default while it has the
// focus and moves the default to an id that no control bears when it loses it.
TEST_F(DialogTest, EnterPressesTheCurrentDefaultAndNothingOnceTheDefaultHasNoControl) {
  DialogTemplateBuilder dialog = Dialog({0, 0, 159, 116});
  dialog
      .Item(DLG_CLASS_LISTBOX, u"", 1041, LBS_SORT | LBS_NOTIFY | WS_BORDER | WS_TABSTOP,
            {35, 10, 117, 62})
      .Item(DLG_CLASS_STATIC, u"(0 address)", 1043, SS_LEFT, {39, 71, 75, 8})
      .Item(DLG_CLASS_BUTTON, u"&Del", 1045, BS_PUSHBUTTON | WS_TABSTOP, {137, 68, 20, 12})
      .Item(DLG_CLASS_EDIT, u"", 1042, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, {36, 95, 92, 12})
      .Item(DLG_CLASS_BUTTON, u"&Add", 1044, BS_PUSHBUTTON, {137, 95, 20, 12});
  script.on_command = [](HWND dlg, WPARAM wParam) {
    if (LOWORD(wParam) == 1042 && HIWORD(wParam) == EN_SETFOCUS)
      SendMessageW(dlg, DM_SETDEFID, 1044, 0);
    if (LOWORD(wParam) == 1042 && HIWORD(wParam) == EN_KILLFOCUS)
      SendMessageW(dlg, DM_SETDEFID, 1032, 0);
    if (LOWORD(wParam) == IDCANCEL) EndDialog(dlg, IDCANCEL);
  };
  HWND add = nullptr;
  // Checked while open; the Escape at the end is what ends the dialog.
  WhileOpen([&] {
    const HWND dlg = GetActiveWindow();
    const HWND entry = GetDlgItem(dlg, 1042);
    add = GetDlgItem(dlg, 1044);
    Key(GetFocus(), Qt::Key_Return);  // no default button at all: OK
    SetFocus(entry);
    EXPECT_EQ(SendMessageW(dlg, DM_GETDEFID, 0, 0), MAKELONG(1044, DC_HASDEFID));
    EXPECT_EQ(GetWindowLongW(add, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    Key(entry, Qt::Key_Return);  // Add
    Key(entry, Qt::Key_Tab);     // wraps round to the list
    EXPECT_EQ(GetFocus(), GetDlgItem(dlg, 1041));
    EXPECT_EQ(SendMessageW(dlg, DM_GETDEFID, 0, 0), MAKELONG(1032, DC_HASDEFID));
    Key(GetFocus(), Qt::Key_Return);  // 1032: nobody's
    Key(GetFocus(), Qt::Key_Tab);     // Del
    Key(GetFocus(), Qt::Key_Return);
    Key(GetFocus(), Qt::Key_Escape);
  });
  EXPECT_EQ(Run(dialog), IDCANCEL);
  std::vector<int> clicks;
  for (const auto& command : script.commands) {
    if (command.code == BN_CLICKED) clicks.push_back(command.id);
    if (command.id == 1044) {
      EXPECT_EQ(command.control, reinterpret_cast<LPARAM>(add));
    }
  }
  EXPECT_EQ(clicks, (std::vector<int>{IDOK, 1044, 1032, 1045, IDCANCEL}));
}

TEST_F(DialogTest, TabStopsFollowCreationOrderSkipDisabledControlsAndWrap) {
  DialogTemplateBuilder dialog = Dialog({0, 0, 100, 100});
  dialog.Item(DLG_CLASS_EDIT, u"", 1, WS_TABSTOP, {0, 0, 50, 12})
      .Item(DLG_CLASS_STATIC, u"label", 2, 0, {0, 14, 50, 8})
      .Item(DLG_CLASS_EDIT, u"", 3, WS_TABSTOP | WS_DISABLED, {0, 24, 50, 12})
      .Item(DLG_CLASS_BUTTON, u"b", 4, BS_PUSHBUTTON | WS_TABSTOP, {0, 40, 50, 12})
      .Item(DLG_CLASS_EDIT, u"", 5, WS_TABSTOP, {0, 54, 50, 12});
  // From control `from` (0: none), forward then backward.
  const std::pair<int, BOOL> steps[] = {{0, FALSE}, {1, FALSE}, {2, FALSE}, {4, FALSE},
                                        {5, FALSE}, {1, TRUE},  {4, TRUE},  {0, TRUE}};
  std::vector<int> reached;
  script.on_init = [&](HWND dlg) {
    for (const auto& [from, previous] : steps) {
      const HWND control = from == 0 ? nullptr : GetDlgItem(dlg, from);
      reached.push_back(GetDlgCtrlID(GetNextDlgTabItem(dlg, control, previous)));
    }
    EndDialog(dlg, 7);
  };
  EXPECT_EQ(Run(dialog), 7);
  EXPECT_EQ(reached, (std::vector<int>{1, 4, 4, 5, 1, 5, 1, 5}));
}

TEST_F(DialogTest, FullScreenDialogShowsItsNavigationTextAndDoneActsAsOk) {
  ASSERT_TRUE(SetSip(true));
  DialogTemplateBuilder dialog = Dialog({0, 0, 159, 118}, WS_EX_NODRAG);
  dialog.Item(DLG_CLASS_EDIT, u"", 1022, WS_BORDER | WS_TABSTOP, {45, 10, 108, 12});
  script.on_init = [](HWND dlg) {
    SHINITDLGINFO info{SHIDIM_FLAGS, dlg,
                       SHIDIF_DONEBUTTON | SHIDIF_SIPDOWN | SHIDIF_SIZEDLGFULLSCREEN};
    SHInitDialog(&info);
    SHSetNavBarText(dlg, u"Profile text");
  };
  script.on_command = [](HWND dlg, WPARAM wParam) {
    if (LOWORD(wParam) == IDOK) EndDialog(dlg, 5);
  };
  WhileOpen([] {  // the click on Done is what ends the dialog
    EXPECT_EQ(WindowEdges(GetActiveWindow()), (Edges{0, 26, 240, 294}));
    EXPECT_EQ(NavigationText(), QStringLiteral("Profile text"));
    EXPECT_FALSE(murmel::testing::ScreenPart("input_panel")->isVisible());
    EXPECT_TRUE(murmel::testing::ScreenPart("done_button")->isVisible());
    murmel::testing::Click(murmel::testing::ScreenPart("done_button"));
  });
  EXPECT_EQ(Run(dialog), 5);
  EXPECT_EQ(std::count_if(script.commands.begin(), script.commands.end(),
                          [](const auto& command) { return command.id == IDOK; }),
            1);
  // The owner is active again, with its own title and no Done button.
  EXPECT_EQ(GetActiveWindow(), top_);
  EXPECT_EQ(NavigationText(), QStringLiteral("Test window"));
  SetWindowTextW(top_, u"Renamed");
  EXPECT_EQ(NavigationText(), QStringLiteral("Renamed"));
  EXPECT_FALSE(murmel::testing::ScreenPart("done_button")->isVisible());
}

TEST_F(DialogTest, PostedMessagesAndTimersOfOtherWindowsKeepTheirOrderDuringTheModalLoop) {
  constexpr int kPosts = 200;
  constexpr UINT kNumbered = WM_APP + 1;
  constexpr UINT kLast = WM_APP + 2;
  const HWND main_window = top_;
  std::thread poster;
  script.on_init = [&](HWND dlg) {
    SetTimer(main_window, 9, 1, nullptr);
    SetTimer(dlg, 1, 1, nullptr);
    poster = std::thread([main_window] {
      for (int i = 0; i < kPosts; ++i) PostMessageW(main_window, kNumbered, i, 0);
      PostMessageW(main_window, kLast, 0, 0);
    });
  };
  // The dialog ends once the last post and a timer of the main window have come through.
  script.on_other = [main_window](HWND dlg, UINT msg) {
    if (msg != WM_TIMER) return;
    if (!ParamsOf(main_window, kLast).empty() && !ParamsOf(main_window, WM_TIMER).empty())
      EndDialog(dlg, 1);
  };
  EXPECT_EQ(Run(Dialog({0, 0, 100, 50})), 1);
  poster.join();
  KillTimer(top_, 9);
  std::vector<WPARAM> order(kPosts);
  std::iota(order.begin(), order.end(), 0);
  EXPECT_EQ(ParamsOf(top_, kNumbered), order);
}

TEST_F(DialogTest, AWorkersMessageBoxRunsOnTheInterfaceThreadDuringTheModalLoop) {
  murmel::testing::AnswerMessageBoxes(IDOK);
  std::thread worker;
  int worker_result = 0;
  script.on_init = [&](HWND dlg) {
    worker = std::thread([dlg, &worker_result] {
      worker_result = MessageBoxW(nullptr, u"From the worker", u"Worker", MB_OK | MB_ICONSTOP);
      PostMessageW(dlg, WM_APP, 0, 0);
    });
  };
  script.on_other = [](HWND dlg, UINT msg) {
    if (msg == WM_APP) EndDialog(dlg, 9);
  };
  EXPECT_EQ(Run(Dialog({0, 0, 120, 60})), 9);
  worker.join();
  murmel::testing::AnswerMessageBoxes(0);
  EXPECT_EQ(worker_result, IDOK);
}

TEST_F(DialogTest, QuitDuringTheModalLoopEndsTheDialogAndReachesTheOuterLoop) {
  script.on_init = [](HWND) { PostQuitMessage(3); };
  EXPECT_EQ(Run(Dialog({0, 0, 100, 50})), 0);
  MSG msg{};
  EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), FALSE);
  EXPECT_EQ(msg.wParam, 3u);
}

// The menu tests check the resource lookup itself: sizes and the missing-name error.
TEST_F(DialogTest, DialogResourcesAreFoundLoadedAndRun) {
  static DialogTemplateBuilder dialog = Dialog({0, 0, 80, 40});
  static const MURMEL_RESOURCE entry =
      dialog.Item(DLG_CLASS_EDIT, u"", 10, WS_BORDER | WS_TABSTOP, {4, 4, 70, 12})
          .Item(DLG_CLASS_BUTTON, u"Go", 7, BS_DEFPUSHBUTTON | WS_TABSTOP, {20, 20, 40, 14})
          .Resource(4242);
  static const bool registered = (RegisterResourceTable(&entry, 1), true);
  ASSERT_TRUE(registered);
  script.on_command = [](HWND dlg, WPARAM wParam) {
    if (HIWORD(wParam) == BN_CLICKED) EndDialog(dlg, LOWORD(wParam));
  };
  // Enter in the edit, the first tab stop, presses the template's default button.
  WhileOpen([] { Key(GetFocus(), Qt::Key_Return); });
  EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(4242), top_, ScriptedProc, 0), 7);
  EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(4243), top_, ScriptedProc, 0), -1);
  EXPECT_EQ(DialogBoxIndirectParamW(nullptr, nullptr, top_, ScriptedProc, 0), -1);
}

}  // namespace
}  // namespace gui_test
