// The real client, started once in this test process as a user would find it: a device
// folder with a profile and an address book, capture from a WAV file, the main window up.
// Only one main window can exist per process, so the tests share it and each one puts the
// form back to a known state first.
#pragma once

#include <sys/stat.h>

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "audio/voice_store.h"
#include "platform/gui/testing/testing.h"
#include "resources/client_resources.h"
#include "resources/resource_ids.h"
#include "shell/button_panel.h"
#include "shell/startup.h"
#include "state/app_state.h"
#include "support/kernel_test_files.h"
#include "support/pcm_wav_file.h"
#include "support/temp_dir.h"

namespace shell_test {

using murmel::test::ReadUtf16File;
using murmel::test::WriteUtf16File;

inline std::u16string WindowText(HWND window) {
  WCHAR text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return text;
}

inline bool IsEnabled(HWND window) { return IsWindowEnabled(window) != FALSE; }

inline std::u16string LoadText(int id) {
  WCHAR text[512] = {};
  LoadStringW(nullptr, static_cast<UINT>(id), text, 512);
  return text;
}

// The one message box shown since the last reset.
inline void ExpectOneBox(const std::u16string& text, const std::u16string& caption, UINT style) {
  const auto boxes = murmel::testing::MessageBoxesShown();
  ASSERT_EQ(boxes.size(), 1U);
  EXPECT_EQ(boxes[0].text, text);
  EXPECT_EQ(boxes[0].caption, caption);
  EXPECT_EQ(boxes[0].style, style);
  EXPECT_EQ(boxes[0].owner, appState.mainWindow);
}

inline bool ClearAttachmentItemGrayed() {
  // EnableMenuItem answers the state it replaces; putting the same state back keeps it.
  const UINT previous = EnableMenuItem(appState.menu, IDM_CLEAR_ATTACHMENT, MF_GRAYED);
  EnableMenuItem(appState.menu, IDM_CLEAR_ATTACHMENT, previous & MF_GRAYED);
  return (previous & MF_GRAYED) != 0;
}

// seconds of a 440 Hz tone at 8 kHz, mono, 16 bits.
inline void WriteToneWav(const std::string& path, double seconds) {
  murmel::test::WritePcmWav(
      path, seconds, [](double t) { return 8000 * std::sin(2 * 3.14159265358979 * 440 * t); });
}

inline const murmel::test::TempDir& SuiteFolder() {
  static const murmel::test::TempDir folder;
  return folder;
}

inline std::string DeviceWindowsFolder() { return SuiteFolder() / "device/Windows"; }

// A profile the way the profile dialog writes it.
inline std::u16string CompleteProfile() {
  return u"[VireoRec]\r\nemail=sam@example.org\r\nname=Sam Sender\r\nsex=Mr.\r\n"
         u"city=Springfield\r\nstate=IL\r\ncountry=United States\r\n";
}

// The environment every client process of these tests gets: its own device folder, runtime
// folder and audio files.
inline void PrepareClientEnvironment(const std::string& audio) {
  const std::string runtime = SuiteFolder() / "runtime";
  std::filesystem::create_directories(runtime);
  chmod(runtime.c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  setenv("MURMELPOST_DEVICE_ROOT", (SuiteFolder() / "device").c_str(), 1);
  setenv("MURMELPOST_AUDIO", audio.c_str(), 1);
  std::filesystem::create_directories(DeviceWindowsFolder());
}

inline std::string FileAudio() {
  return "file:in=" + (SuiteFolder() / "speech.wav") + ",out=" + (SuiteFolder() / "played.wav");
}

inline bool StartClientOnce() {
  static const bool started = [] {
    WriteToneWav(SuiteFolder() / "speech.wav", 30);
    PrepareClientEnvironment(FileAudio());
    WriteUtf16File(DeviceWindowsFolder() + "/CEVireoRec.pfi", CompleteProfile());
    WriteUtf16File(
        DeviceWindowsFolder() + "/CEVireoRec.arr",
        u"[Address]\r\ncount=2\r\naddress0=ann@example.org\r\naddress1=bob@example.org\r\n");
    RegisterClientResources();
    murmel::testing::AnswerMessageBoxes(IDOK);
    return InitInstance(nullptr) == 1;
  }();
  return started;
}

inline HWND MainControl(int id) { return GetDlgItem(appState.mainWindow, id); }
inline HWND PanelControl(int id) { return GetDlgItem(MainControl(IDC_BUTTON_PANEL), id); }

inline void PumpPending() {
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  murmel::testing::ProcessEvents();
}

// The bound only keeps a broken build from hanging; nothing is measured against it.
inline bool PumpUntil(const std::function<bool()>& done) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    PumpPending();
    Sleep(2);
  }
  return true;
}

inline void ResetForm() {
  PumpUntil([] { return appState.sendThread.load() == nullptr; });
  if (appState.recorderState != RECORDER_IDLE)
    OnPanelCommand(MainControl(IDC_BUTTON_PANEL), IDC_STOP);
  PumpUntil(
      [] { return appState.waveDeviceOpen == 0 && appState.compressThread.load() == nullptr; });
  if (appState.recordingAvailable != 0) InitVoiceStore();
  appState.recordingAvailable = 0;
  appState.recordedBytes = 0;
  appState.cancelRequested = 0;
  appState.attachmentPath.clear();
  for (const int id : {IDC_RECIPIENTS, IDC_SUBJECT, IDC_MESSAGE_TEXT}) {
    SetWindowTextW(MainControl(id), u"");
    EnableWindow(MainControl(id), TRUE);
  }
  for (const int id : {IDC_RECORD, IDC_STOP, IDC_PLAY, IDC_SEND}) {
    EnableWindow(PanelControl(id), TRUE);
  }
  appState.toSelStart = 0;
  appState.toSelEnd = 0;
  murmel::testing::AnswerMessageBoxes(IDOK);
  murmel::testing::ForgetMessageBoxesShown();
  PumpPending();
}

// Base of the tests that use the running client.
class RunningClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartClientOnce());
    ResetForm();
  }
};

}  // namespace shell_test
