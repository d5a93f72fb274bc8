#include <QTimer>
#include <thread>

#include "gui_test_support.h"

namespace gui_test {
namespace {

using murmel::testing::AnswerMessageBoxes;
using murmel::testing::MessageBoxesShown;

class MessageBoxTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    murmel::testing::ForgetMessageBoxesShown();
  }
  void TearDown() override {
    AnswerMessageBoxes(0);
    GuiTest::TearDown();
  }
};

// An answer the box has no button for presses its default; with no answer set, keys do.
TEST_F(MessageBoxTest, BoxesReturnTheButtonChosenOrTheDefaultAndAreRecordedAsAsked) {
  const struct {
    bool owned;
    UINT style;
    int answer;  // 0: the keys answer
    std::vector<int> keys;
    int result;
  } cases[] = {
      {false, MB_OK | MB_ICONSTOP, IDOK, {}, IDOK},
      {true, MB_YESNO | MB_ICONQUESTION, IDNO, {}, IDNO},
      {true, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, IDOK, {}, IDNO},
      {true, MB_OK, 0, {Qt::Key_Escape}, IDOK},
      {true, MB_YESNO, 0, {Qt::Key_Escape, Qt::Key_Return}, IDYES},  // Escape does nothing
      {true, MB_YESNO | MB_DEFBUTTON2, 0, {Qt::Key_Return}, IDNO},
  };
  std::size_t count = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(count);
    AnswerMessageBoxes(c.answer);
    const std::vector<int> keys = c.keys;
    QTimer::singleShot(0, [keys] {
      for (int key : keys) murmel::testing::Key(GetFocus(), key);
    });
    const std::u16string text = u"Line one\nline " + std::u16string(++count, u'x');
    EXPECT_EQ(MessageBoxW(c.owned ? top_ : nullptr, text.c_str(), u"Murmelpost", c.style),
              c.result);
    const auto shown = MessageBoxesShown();
    ASSERT_EQ(shown.size(), count);
    EXPECT_EQ(shown.back().text, text);
    EXPECT_EQ(shown.back().owner, c.owned ? top_ : nullptr);
    EXPECT_FALSE(IsWindow(shown.back().box));
  }
  // The window that was active before the boxes is active again.
  EXPECT_EQ(GetActiveWindow(), top_);
}

TEST_F(MessageBoxTest, WindowsBehindTheBoxRefuseThePen) {
  const HWND button = Child(u"button", BS_PUSHBUTTON, 300, 10, 200, 80, 30, u"Behind");
  Log().clear();
  QTimer::singleShot(0, [button] {
    murmel::testing::Click(button);
    murmel::testing::Click(murmel::testing::MessageBoxButton(IDOK));
  });
  EXPECT_EQ(MessageBoxW(top_, u"Modal", u"Box", MB_OK), IDOK);
  EXPECT_TRUE(CommandsTo(top_).empty());
  murmel::testing::Click(button);  // and answer again once the box is gone
  EXPECT_EQ(CommandsTo(top_), std::vector<Command>({{300, BN_CLICKED}}));
}

// A window whose procedure shows a box for a message another thread sent it, and starts a
// second thread's box while its own is open.
std::thread second_worker;
std::atomic<int> second_result{0};

LRESULT BoxOnSendProc(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (Msg != WM_APP + 5) return DefWindowProcW(hWnd, Msg, wParam, lParam);
  second_worker = std::thread([] {
    second_result.store(MessageBoxW(nullptr, u"Second", u"Worker", MB_YESNO | MB_ICONQUESTION));
  });
  return MessageBoxW(hWnd, u"First", u"Sent", MB_YESNO | MB_ICONQUESTION);
}

TEST_F(MessageBoxTest, BoxesAskedFromSentMessagesAndOtherThreadsAtOnceDoNotDeadlock) {
  const HWND window = TopLevelWith(u"BoxOnSend", BoxOnSendProc);
  AnswerMessageBoxes(IDNO);

  std::atomic<bool> done{false};
  LRESULT first_result = 0;
  std::thread sender([&] {
    first_result = SendMessageW(window, WM_APP + 5, 0, 0);
    second_worker.join();
    done = true;
  });
  DispatchPending(&done);
  sender.join();
  DestroyWindow(window);

  EXPECT_EQ(first_result, IDNO);
  EXPECT_EQ(second_result.load(), IDNO);
  EXPECT_EQ(MessageBoxesShown().size(), 2u);
}

}  // namespace
}  // namespace gui_test
