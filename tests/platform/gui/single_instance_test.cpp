// Finding a window by class in another process of the same user, raising it and posting
// to it; a copy killed with SIGKILL must not block the next one.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "gui_test_support.h"
#include "support/kernel_child_process.h"
#include "support/scoped_env.h"

namespace {

using murmel::test::KernelChildProcess;

constexpr const char* kChildVariable = "MURMEL_SINGLE_INSTANCE_CHILD";
constexpr const WCHAR* kProbeClass = u"SingleInstanceProbe";
constexpr UINT kCloseMessage = 1023;  // the client's private close message

void Say(const char* line) {
  const std::string text = std::string(line) + "\n";
  if (write(STDOUT_FILENO, text.data(), text.size()) < 0) _exit(2);
}

LRESULT ProbeProc(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (Msg == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE) Say("activated");
  if (Msg == kCloseMessage) {
    Say("closing");
    PostQuitMessage(0);
  }
  return DefWindowProcW(hWnd, Msg, wParam, lParam);
}

// Child role: shows a window of the probe class, then another window in front of it, says
// "ready" and runs its message loop until the close message ends it.
const bool kIsChild = [] {
  if (std::getenv(kChildVariable) == nullptr) return false;
  for (const WCHAR* name : {kProbeClass, u"SingleInstanceCover"}) {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = name == kProbeClass ? ProbeProc : DefWindowProcW;
    window_class.lpszClassName = name;
    if (!RegisterClassW(&window_class) || !CreateWindowExW(0, name, u"", WS_VISIBLE, 0, 26, 240,
                                                           294, nullptr, nullptr, nullptr, nullptr))
      _exit(3);
  }
  Say("ready");
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  _exit(0);
}();

class SingleInstanceTest : public ::testing::Test {
 protected:
  // A child sharing this test's private runtime folder, once it said "ready".
  KernelChildProcess& StartChild() {
    child_.emplace(std::vector<std::string>{std::string(kChildVariable) + "=1",
                                            "QT_QPA_PLATFORM=offscreen",
                                            "XDG_RUNTIME_DIR=" + runtime_.path()});
    EXPECT_TRUE(WaitForLine("ready"));
    return *child_;
  }

  // Reads the child's lines up to `wanted`; false when its output ends first.
  bool WaitForLine(const std::string& wanted) {
    for (std::string line = child_->ReadLine(); !line.empty(); line = child_->ReadLine()) {
      if (line == wanted) return true;
    }
    return false;
  }

  static int ExitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

  murmel::test::TempDir runtime_;
  murmel::test::ScopedEnv runtime_env_{"XDG_RUNTIME_DIR", runtime_.path()};
  std::optional<KernelChildProcess> child_;
};

TEST_F(SingleInstanceTest, SecondProcessFindsRaisesAndClosesTheFirst) {
  EXPECT_EQ(FindWindowW(kProbeClass, nullptr), nullptr);  // nobody runs yet
  KernelChildProcess& first = StartChild();
  HWND found = FindWindowW(u"singleinstanceprobe", nullptr);  // classes ignore case
  ASSERT_NE(found, nullptr);
  EXPECT_TRUE(SetForegroundWindow(found));
  EXPECT_EQ(first.ReadLine(), "activated");  // it came back in front of its other window
  EXPECT_TRUE(PostMessageW(found, kCloseMessage, 0, 0));
  EXPECT_EQ(first.ReadLine(), "closing");
  EXPECT_EQ(ExitCode(first.Release()), 0);

  // The handle of a copy that has ended behaves like a destroyed window.
  SetLastError(0);
  EXPECT_FALSE(PostMessageW(found, kCloseMessage, 0, 0));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_WINDOW_HANDLE});
  EXPECT_FALSE(SetForegroundWindow(found));
  EXPECT_EQ(FindWindowW(kProbeClass, nullptr), nullptr);
}

TEST_F(SingleInstanceTest, KilledCopyDoesNotBlockTheNext) {
  const int status = StartChild().Kill();
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  // Its lock file and socket are still there, but nobody answers.
  EXPECT_EQ(FindWindowW(kProbeClass, nullptr), nullptr);

  KernelChildProcess& next = StartChild();
  HWND found = FindWindowW(kProbeClass, nullptr);
  ASSERT_NE(found, nullptr);  // the next copy took over the class
  EXPECT_TRUE(PostMessageW(found, kCloseMessage, 0, 0));
  EXPECT_TRUE(WaitForLine("closing"));
  EXPECT_EQ(ExitCode(next.Release()), 0);
}

}  // namespace
