// Start-up as a user meets it: the client's entry point in a child of this suite, where a
// message box has to be answered.
#include <cstdio>
#include <string>

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

// Another platform version ends at a message without a window; so does a profile that
// cannot be read (held by another program); a machine without a recording device says so
// after the window is up.
TEST(StartupTest, UnsuitableMachinesAreToldWhy) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
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
          if (!c.holdProfile) ReportAndExit(WinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL));
          // Set-up alone: a window that opened anyway would run its message loop for good.
          CreateFileW(u"\\Windows\\CEVireoRec.pfi", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
          ReportAndExit(InitInstance(nullptr));
        },
        ::testing::ExitedWithCode(0), c.seen);
  }
}

}  // namespace
}  // namespace shell_test
