// Drives the real client through one whole message the way a user would: fills the profile
// on first start, records, addresses and sends, then closes it. The client runs unchanged
// on this thread; the driver acts from a hidden window's timer, which the client's own
// message loop and its modal dialogs dispatch.
#include "tools/murmelpost_demo/demo_driver.h"

#include <QWidget>
#include <chrono>
#include <cstdio>
#include <string>

#include "platform/gui/testing/testing.h"
#include "resources/resource_ids.h"

namespace murmel::demo {
namespace {

using Clock = std::chrono::steady_clock;

constexpr UINT_PTR kTickTimer = 1;
constexpr UINT kTickMs = 100;
constexpr auto kSendTimeout = std::chrono::seconds(60);
constexpr auto kStartTimeout = std::chrono::seconds(20);

enum class Step { kStarting, kRecording, kStopping, kAddressing, kSending, kClosing, kFinished };

struct Driver {
  DemoOptions options;
  Step step = Step::kStarting;
  Clock::time_point step_started = Clock::now();
  bool profile_filled = false;
  bool recording_shot = false;
  int result = 1;
};

Driver driver;

void Say(const char* line) { std::fprintf(stderr, "demo: %s\n", line); }

void EnterStep(Step step) {
  driver.step = step;
  driver.step_started = Clock::now();
}

Clock::duration InStep() { return Clock::now() - driver.step_started; }

void Shoot(const char* name) {
  if (driver.options.screenshot_dir.empty()) return;
  const std::string path = driver.options.screenshot_dir + "/" + name;
  if (murmel::testing::SaveScreen(path.c_str())) {
    std::fprintf(stderr, "demo: screenshot %s\n", path.c_str());
  }
}

HWND MainWindow() { return FindWindowW(u"CEVireoRec", nullptr); }

HWND Control(HWND window, int id) { return GetDlgItem(window, id); }

// Record, Stop, Play and Send live on the button panel.
HWND PanelButton(HWND main, int id) { return GetDlgItem(GetDlgItem(main, IDC_BUTTON_PANEL), id); }

// The profile dialog is up when the focused control belongs to a window that has the
// profile's e-mail field.
HWND ProfileDialog() {
  HWND focus = GetFocus();
  while (focus != nullptr) {
    if (GetDlgItem(focus, IDC_PROFILE_EMAIL) != nullptr) return focus;
    focus = GetParent(focus);
  }
  return nullptr;
}

void FillProfile(HWND dialog) {
  Say("first start: filling in the user profile");
  const DemoProfile& profile = driver.options.profile;
  murmel::testing::Type(Control(dialog, IDC_PROFILE_EMAIL), profile.email.c_str());
  murmel::testing::Type(Control(dialog, IDC_PROFILE_EMAIL_CONFIRM), profile.email.c_str());
  murmel::testing::Click(Control(dialog, IDC_PROFILE_MS));
  murmel::testing::Type(Control(dialog, IDC_PROFILE_NAME), profile.name.c_str());
  murmel::testing::Type(Control(dialog, IDC_PROFILE_CITY), profile.city.c_str());
  murmel::testing::Type(Control(dialog, IDC_PROFILE_STATE), profile.state.c_str());
  Shoot("demo-profile.png");
  murmel::testing::Click(murmel::testing::ScreenPart("done_button"));
  driver.profile_filled = true;
}

void Finish(int result, const char* why) {
  Say(why);
  driver.result = result;
  EnterStep(Step::kClosing);
}

bool MessageBoxAppeared() {
  const auto boxes = murmel::testing::MessageBoxesShown();
  if (boxes.empty()) return false;
  const std::u16string& text = boxes.back().text;
  std::fprintf(stderr, "demo: the client showed a message box: %s\n",
               std::string(text.begin(), text.end()).c_str());
  return true;
}

void Tick(HWND self) {
  const HWND main = MainWindow();
  switch (driver.step) {
    case Step::kStarting: {
      if (!driver.profile_filled) {
        if (const HWND dialog = ProfileDialog(); dialog != nullptr) {
          FillProfile(dialog);
          return;
        }
      }
      if (MessageBoxAppeared()) return Finish(1, "start-up refused");
      if (main == nullptr || !IsWindowEnabled(PanelButton(main, IDC_RECORD))) {
        if (InStep() > kStartTimeout) {
          Finish(1, main == nullptr ? "the main window did not come up"
                                    : "the main window offers no Record button");
        }
        return;
      }
      Shoot("demo-idle.png");
      Say("recording the speech sample");
      murmel::testing::Click(PanelButton(main, IDC_RECORD));
      EnterStep(Step::kRecording);
      return;
    }
    case Step::kRecording:
      if (!driver.recording_shot && InStep() > driver.options.record_time / 2) {
        Shoot("demo-recording.png");
        driver.recording_shot = true;
      }
      if (InStep() < driver.options.record_time) return;
      murmel::testing::Click(PanelButton(main, IDC_STOP));
      EnterStep(Step::kStopping);
      return;
    case Step::kStopping:
      // Play comes back once the recorder has closed and the recording is complete.
      if (!IsWindowEnabled(PanelButton(main, IDC_PLAY))) {
        if (InStep() > kStartTimeout) Finish(1, "the recording did not end");
        return;
      }
      EnterStep(Step::kAddressing);
      return;
    case Step::kAddressing:
      Say("addressing and sending");
      murmel::testing::Type(Control(main, IDC_RECIPIENTS), driver.options.recipient.c_str());
      murmel::testing::Type(Control(main, IDC_SUBJECT), driver.options.subject.c_str());
      murmel::testing::Type(Control(main, IDC_MESSAGE_TEXT), driver.options.text.c_str());
      Shoot("demo-addressed.png");
      murmel::testing::Click(PanelButton(main, IDC_SEND));
      EnterStep(Step::kSending);
      return;
    case Step::kSending:
      if (MessageBoxAppeared()) return Finish(1, "the send failed");
      // A successful send empties the form and gives the Send button back.
      if (GetWindowTextLengthW(Control(main, IDC_SUBJECT)) == 0 &&
          IsWindowEnabled(PanelButton(main, IDC_SEND))) {
        Shoot("demo-sent.png");
        return Finish(0, "the server accepted the message");
      }
      if (InStep() > kSendTimeout) Finish(1, "the send did not finish");
      return;
    case Step::kClosing:
      KillTimer(self, kTickTimer);
      EnterStep(Step::kFinished);
      if (main != nullptr) PostMessageW(main, WM_CLOSE, 0, 0);
      return;
    case Step::kFinished:
      return;
  }
}

LRESULT CALLBACK DriverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER && wParam == kTickTimer) {
    Tick(window);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

bool StartDemoDriver(const DemoOptions& options) {
  driver.options = options;
  // Errors end the run instead of waiting for a user: each box is answered and recorded.
  murmel::testing::AnswerMessageBoxes(IDOK);
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = DriverProc;
  window_class.lpszClassName = u"MurmelpostDemoDriver";
  if (RegisterClassW(&window_class) == 0) return false;
  const HWND window = CreateWindowExW(0, u"MurmelpostDemoDriver", u"", 0, 0, 0, 0, 0, nullptr,
                                      nullptr, nullptr, nullptr);
  if (window == nullptr) return false;
  return SetTimer(window, kTickTimer, kTickMs, nullptr) != 0;
}

int DemoResult() { return driver.step == Step::kFinished ? driver.result : 1; }

}  // namespace murmel::demo
