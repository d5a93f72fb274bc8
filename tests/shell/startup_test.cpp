// Start-up as a user meets it, each in a process of its own: the program itself for a
// second start, and the client's entry point in a child of this suite where a message box
// has to be answered.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "shell/main_window.h"
#include "shell/running_client.h"
#include "support/scoped_env.h"

namespace shell_test {
namespace {

std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

// Ends a child of a death test: says what the user saw, on stderr where the parent
// matches it, and leaves no folder behind.
[[noreturn]] void ReportAndExit(int code) {
  const auto list =
      SendMessageW(GetDlgItem(appState.mainWindow, IDC_RECIPIENTS), CB_GETCOUNT, 0, 0);
  std::string report = "RESULT window=" + std::string(appState.mainWindow ? "1" : "0");
  if (appState.mainWindow != nullptr) report += " list=" + std::to_string(list);
  for (const auto& box : murmel::testing::MessageBoxesShown()) {
    report += " box=" + Narrow(box.text) + "/" + Narrow(box.caption);
  }
  std::fprintf(stderr, "%s;\n", report.c_str());
  std::error_code ignored;
  std::filesystem::remove_all(SuiteFolder().path(), ignored);
  std::_Exit(code);
}

// The child's device: the audio given, a complete profile and a book of one address.
void StartAsChild(const std::string& audio) {
  WriteToneWav(SuiteFolder() / "speech.wav", 2);
  PrepareClientEnvironment(audio);
  RegisterClientResources();
  murmel::testing::AnswerMessageBoxes(IDOK);
  WriteUtf16File(DeviceWindowsFolder() + "/CEVireoRec.pfi", CompleteProfile());
  WriteUtf16File(DeviceWindowsFolder() + "/CEVireoRec.arr",
                 u"[Address]\r\ncount=1\r\naddress0=ann@example.org\r\n");
}

bool Within20s(const std::function<bool()>& done) {
  for (int i = 0; i < 2000; ++i) {
    if (done()) return true;
    Sleep(10);
  }
  return false;
}

int RunWinMain() { return WinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL); }

pid_t Spawn(const char* program) {
  pid_t pid = 0;
  char* argv[] = {const_cast<char*>(program), nullptr};
  return posix_spawn(&pid, program, nullptr, nullptr, argv, environ) == 0 ? pid : -1;
}

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

// Another platform version ends at a message without a window; so does a profile that
// cannot be read (held by another program); a machine without a recording device says so
// after the window is up.
TEST_F(StartupTest, UnsuitableMachinesAreToldWhy) {
  const struct {
    const char* version;
    const char* audio;
    bool holdProfile;
    const char* seen;
  } cases[] = {
      {"4.0", "file", false, "RESULT window=0 box=This machine is not PocketPC/Info;"},
      {"2.11", "file", false, "RESULT window=0 box=This machine is not PocketPC/Info;"},
      {nullptr, "file", true, "RESULT window=0;"},
      {nullptr, "none", false,
       "RESULT window=1 list=1 box=No wave audio recording devices found./InitMyRecord;"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seen);
    const murmel::test::ScopedEnv version("MURMELPOST_OS_VERSION", c.version);
    const std::string audio = c.audio == std::string("file") ? FileAudio() : c.audio;
    EXPECT_EXIT(
        {
          StartAsChild(audio);
          if (c.holdProfile) {
            CreateFileW(u"\\Windows\\CEVireoRec.pfi", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
          }
          ReportAndExit(RunWinMain());
        },
        ::testing::ExitedWithCode(0), c.seen);
  }
}

// The program itself, started on a device with a profile; this process, without windows of
// its own, finds it by its class and posts the close request, then reports how it ended.
[[noreturn]] void StartProgramAndAskItToClose(const char* program) {
  StartAsChild(FileAudio());
  const pid_t pid = Spawn(program);
  if (pid < 0) std::_Exit(3);
  HWND found = nullptr;
  Within20s([&] { return (found = FindWindowW(u"CEVireoRec", nullptr)) != nullptr; });
  const bool posted = found != nullptr && PostMessageW(found, WM_CLOSE_REQUEST, 0, 0) != FALSE;
  // A client that ignored the request is killed after a while rather than hanging the suite.
  int status = 0;
  if (!Within20s([&] { return waitpid(pid, &status, WNOHANG) == pid; })) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  std::fprintf(stderr, "posted %d, exited %d with %d\n", posted ? 1 : 0, WIFEXITED(status) ? 1 : 0,
               WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  std::error_code ignored;
  std::filesystem::remove_all(SuiteFolder().path(), ignored);
  std::_Exit(0);
}

TEST_F(StartupTest, CloseRequestFromAnotherProcessEndsTheProgram) {
  const char* program = std::getenv("MURMELPOST_PROGRAM");
  if (program == nullptr) GTEST_SKIP() << "MURMELPOST_PROGRAM names the client program";
  EXPECT_EXIT(StartProgramAndAskItToClose(program), ::testing::ExitedWithCode(0),
              "posted 1, exited 1 with 0");
}

// The first copy is this suite's running client; the second is the program itself.
TEST(SecondStartTest, SecondCopyBringsTheFirstForwardAndExits) {
  const char* program = std::getenv("MURMELPOST_PROGRAM");
  if (program == nullptr) GTEST_SKIP() << "MURMELPOST_PROGRAM names the client program";
  ASSERT_TRUE(StartClientOnce());

  WNDCLASSW otherClass{};
  otherClass.lpfnWndProc = DefWindowProcW;
  otherClass.lpszClassName = u"SomeOtherProgram";
  RegisterClassW(&otherClass);
  const HWND other = CreateWindowExW(0, u"SomeOtherProgram", u"Other", WS_VISIBLE, 0, 26, 240, 294,
                                     nullptr, nullptr, nullptr, nullptr);
  SetForegroundWindow(other);
  PumpPending();
  ASSERT_EQ(GetForegroundWindow(), other);

  const pid_t pid = Spawn(program);
  ASSERT_GT(pid, 0);
  int status = -1;
  ASSERT_TRUE(PumpUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }));
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(PumpUntil([] { return GetForegroundWindow() == appState.mainWindow; }));
  DestroyWindow(other);
}

}  // namespace
}  // namespace shell_test
