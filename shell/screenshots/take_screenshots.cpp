// Draws the documentation's pictures of the running client, offscreen: the driving lives
// here, outside the client, which runs exactly as it would for a user.
//   shell_screenshots SCENE OUT.png
//   SCENE: idle, recording, sending, profile, option-menu, help-menu, address-book, about
// The caller supplies the environment (device folder, audio backend, screen colours).
#include <aygshell.h>
#include <windows.h>

#include <QTimer>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/gui/testing/testing.h"
#include "resources/client_resources.h"
#include "resources/resource_ids.h"
#include "shell/startup.h"
#include "state/app_state.h"
#include "support/fake_transfer_server.h"
#include "transfer/server_connection.h"

namespace {

const char* outputPath = nullptr;
constexpr UINT kActNow = WM_APP + 1;

void Pump(int rounds) {
  for (int i = 0; i < rounds; ++i) {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    murmel::testing::ProcessEvents();
    Sleep(10);
  }
}

HWND Control(int id) { return GetDlgItem(appState.mainWindow, id); }
HWND PanelControl(int id) { return GetDlgItem(Control(IDC_BUTTON_PANEL), id); }

void FillForm() {
  SetFocus(Control(IDC_RECIPIENTS));
  murmel::testing::Type(Control(IDC_RECIPIENTS), u"carol@example.org, d");
  SetWindowTextW(Control(IDC_SUBJECT), u"Greetings from the road");
  SetWindowTextW(Control(IDC_MESSAGE_TEXT), u"Listen to the recording, it says it all.");
}

// The profile dialog is shown from inside start-up: a posted request reaches this
// procedure from the dialog's modal loop.
LRESULT DriverProc(HWND driver, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kActNow) return DefWindowProcW(driver, message, wParam, lParam);
  const HWND dialog = GetActiveWindow();
  if (dialog == nullptr || GetDlgItem(dialog, IDC_PROFILE_EMAIL) == nullptr) {
    Sleep(5);
    PostMessageW(driver, kActNow, 0, 0);
    return 0;
  }
  const HWND email = GetDlgItem(dialog, IDC_PROFILE_EMAIL);
  SetFocus(email);
  SIPINFO sip{};
  sip.cbSize = sizeof(sip);
  SHSipInfo(SPI_GETSIPINFO, 0, &sip, 0);
  sip.fdwFlags |= SIPF_ON;
  SHSipInfo(SPI_SETSIPINFO, 0, &sip, 0);
  murmel::testing::Type(email, u"sam@example.org");
  SetFocus(GetDlgItem(dialog, IDC_PROFILE_EMAIL_CONFIRM));
  murmel::testing::Type(GetDlgItem(dialog, IDC_PROFILE_EMAIL_CONFIRM), u"sam@exa");
  Pump(5);
  murmel::testing::SaveScreen(outputPath);
  std::_Exit(0);
}

int ShowProfileDialog() {
  WNDCLASSW driverClass{};
  driverClass.lpfnWndProc = DriverProc;
  driverClass.lpszClassName = u"ScreenshotDriver";
  RegisterClassW(&driverClass);
  const HWND driver = CreateWindowExW(0, u"ScreenshotDriver", u"", 0, 0, 0, 0, 0, nullptr, nullptr,
                                      nullptr, nullptr);
  PostMessageW(driver, kActNow, 0, 0);
  InitInstance(nullptr);
  return 1;  // the dialog never came
}

// Saves the screen once a modal window with that caption is up, then ends the program.
void ShootWhenActive(const std::u16string& caption) {
  QTimer::singleShot(20, [caption] {
    WCHAR text[128] = {};
    const HWND active = GetActiveWindow();
    if (active != nullptr) GetWindowTextW(active, text, 128);
    if (caption != text) {
      ShootWhenActive(caption);
      return;
    }
    Pump(5);
    std::_Exit(murmel::testing::SaveScreen(outputPath) ? 0 : 1);
  });
}

// The pop-ups and dialogs are modal: the picture is taken from inside their loops.
int ShowMenuOrDialog(const std::string& scene) {
  if (scene == "option-menu" || scene == "help-menu") {
    QTimer::singleShot(50, [] {
      Pump(3);
      std::_Exit(murmel::testing::SaveScreen(outputPath) ? 0 : 1);
    });
    murmel::testing::Click(Control(scene == "option-menu" ? IDC_OPTION : IDC_HELP));
    return 1;
  }
  ShootWhenActive(scene == "about" ? u"About Murmelpost" : u"Manage Address Book");
  PostMessageW(appState.mainWindow, WM_COMMAND, scene == "about" ? IDM_ABOUT : IDM_ADDRESS_BOOK, 0);
  Pump(500);
  return 1;  // it never came
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(
        stderr,
        "usage: %s SCENE OUT.png (idle, recording, sending, profile, option-menu, help-menu, "
        "address-book, about)\n",
        argv[0]);
    return 2;
  }
  const std::string scene = argv[1];
  outputPath = argv[2];
  RegisterClientResources();
  if (scene == "profile") return ShowProfileDialog();
  if (InitInstance(nullptr) != 1) return 1;
  Pump(10);
  if (scene == "option-menu" || scene == "help-menu" || scene == "about" ||
      scene == "address-book") {
    return ShowMenuOrDialog(scene);
  }

  // A server that takes the envelope and then keeps asking for the same data frame, so the
  // send stays in progress while the picture is taken.
  murmel::test::FakeTransferServer server;
  if (scene == "recording" || scene == "sending") {
    murmel::testing::Click(PanelControl(IDC_RECORD));
    while (appState.voiceChunkCount < 8) Pump(1);
  }
  if (scene == "idle") FillForm();
  if (scene == "sending") {
    murmel::testing::Click(PanelControl(IDC_STOP));
    while (appState.recordingAvailable == 0) Pump(1);
    FillForm();
    server.AcceptGreeting();
    for (int i = 0; i < 15; ++i) server.Reply("TROK");
    server.AnswerEveryFrame("RETR").Start();
    SetServerEndpoint(u"127.0.0.1", server.port());
    murmel::testing::Click(PanelControl(IDC_SEND));
    while (server.answered() < 3) Pump(1);
  }
  Pump(10);
  const bool saved = murmel::testing::SaveScreen(outputPath);
  std::_Exit(saved ? 0 : 1);
}
