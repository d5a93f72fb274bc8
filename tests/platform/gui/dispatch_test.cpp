#include <commctrl.h>
#include <mmsystem.h>

#include <thread>

#include "gui_test_support.h"

namespace gui_test {
namespace {

TEST_F(GuiTest, PostedMessagesFromAThreadAreDispatchedInOrderBeforeQuit) {
  std::thread poster([this] {
    for (int i = 0; i < 50; ++i) PostMessageW(top_, WM_APP + 1, i, 0);
    PostMessageW(top_, MM_WIM_DATA, 0, 42);  // the wave notifications share the queue
    PostQuitMessage(0);                      // the poster's own queue: not ours
  });
  poster.join();
  PostMessageW(top_, WM_APP + 2, 0, 0);
  PostQuitMessage(7);
  // The client's loop shape, until WM_QUIT.
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) == 1) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 7u);

  std::vector<std::pair<UINT, WPARAM>> seen;
  std::vector<std::pair<UINT, WPARAM>> expected;
  for (WPARAM i = 0; i < 50; ++i) expected.emplace_back(WM_APP + 1, i);
  expected.insert(expected.end(), {{MM_WIM_DATA, 42}, {WM_APP + 2, 0}});
  for (const auto& r : Log()) {
    if (r.window == top_ && r.message >= WM_APP) seen.emplace_back(r.message, r.wParam);
    if (r.window == top_ && r.message == MM_WIM_DATA) seen.emplace_back(r.message, r.lParam);
  }
  EXPECT_EQ(seen, expected);
}

TEST_F(GuiTest, TimersPostTimerMessagesUntilKilled) {
  ASSERT_EQ(SetTimer(top_, 2, 10, nullptr), 2u);
  int ticks = 0;
  MSG msg;
  while (ticks < 3 && GetMessageW(&msg, nullptr, 0, 0) == 1) {
    if (msg.message == WM_TIMER && msg.hwnd == top_ && msg.wParam == 2) ++ticks;
    DispatchMessageW(&msg);
  }
  EXPECT_TRUE(KillTimer(top_, 2));
  EXPECT_FALSE(KillTimer(top_, 2));
  // Once killed, nothing more arrives: a posted marker comes first.
  DispatchPending();
  PostMessageW(top_, WM_APP + 9, 0, 0);
  ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), 1);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_APP + 9));
}

// The send thread of the client: it moves the progress bar and reads the result of a
// procedure across threads while the GUI thread sits in its message loop.
TEST_F(GuiTest, WorkerSendMessageUpdatesProgressBarAndReturnsTheProcedureResult) {
  const HWND bar = Child(PROGRESS_CLASS, 0, 60005, 15, 60, 142, 8);
  std::atomic<LRESULT> previous_range{0}, previous_position{-1}, enabled_before{-1}, clamped{-1};
  std::thread sender([&] {
    previous_range = SendMessageW(bar, PBM_SETRANGE, 0, MAKELONG(0, 200));
    SendMessageW(bar, PBM_SETPOS, 50, 0);
    previous_position = SendMessageW(bar, PBM_SETPOS, 500, 0);
    clamped = SendMessageW(bar, PBM_GETPOS, 0, 0);
    enabled_before = EnableWindow(top_, FALSE);
    SetWindowTextW(top_, u"sent from a worker");
    PostMessageW(top_, WM_CLOSE, 0, 0);
  });
  // WM_CLOSE destroys the window by default; stop once that happened.
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) == 1) {
    DispatchMessageW(&msg);
    if (msg.message == WM_CLOSE) break;
  }
  sender.join();
  EXPECT_EQ(previous_range.load(), MAKELONG(0, 100));
  EXPECT_EQ(previous_position.load(), 50);
  EXPECT_EQ(clamped.load(), 200);  // to the range
  EXPECT_EQ(enabled_before.load(), FALSE);
  EXPECT_FALSE(ParamsOf(top_, WM_SETTEXT).empty());
  EXPECT_FALSE(IsWindow(top_));
}

}  // namespace
}  // namespace gui_test
