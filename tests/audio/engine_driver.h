// The engines driven as the client's main window drives them: the shell's own handling of
// the wave notifications and clocks, the button panel's controls the engines update, and
// hooks that see each message just before and just after the shell has handled it.
#pragma once

#include <commctrl.h>
#include <mmsystem.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audio/playback_engine.h"
#include "audio/recording_engine.h"
#include "audio/voice_codec.h"
#include "audio/voice_display.h"
#include "audio/voice_store.h"
#include "platform/audio/wave_test_helpers.h"
#include "resources/resource_ids.h"
#include "shell/voice_control.h"
#include "state/app_state.h"
#include "support/app_state_reset.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "support/test_window_class.h"

class EngineTest : public ::testing::Test {
 public:
  using Hook = std::function<void(HWND, UINT, WPARAM, LPARAM)>;

  static void SetUpTestSuite() {
    static const bool registered = murmel::test::RegisterTestWindowClass(u"EngineTest", Proc);
    ASSERT_TRUE(registered);
  }

  // The main window with the recorder set up as at window creation, which needs a device.
  void SetUp() override {
    UseFile({});
    window_ = CreateWindowExW(0, u"EngineTest", u"", WS_VISIBLE, 0, 26, 240, 294, nullptr, nullptr,
                              nullptr, nullptr);
    const HWND panel = Child(window_, u"STATIC", IDC_BUTTON_PANEL);
    for (const int id : {IDC_TIME_DISPLAY, IDC_RECORD, IDC_PLAY}) Child(panel, u"STATIC", id);
    Child(panel, PROGRESS_CLASSW, IDC_PROGRESS);
    ASSERT_EQ(SetUpRecorder(window_), 0);
  }
  // As at shutdown, once the buffers a stop returns have closed the device.
  void TearDown() override {
    before_ = after_ = nullptr;
    StopRecorder(window_);
    Pump([] { return appState.waveDeviceOpen == 0; });
    ShutDownRecorder(window_);
    FreeVoiceStore();
    DestroyWindow(window_);
    for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) {
    }
    ResetAppState();
  }

  // The file audio device reading `pcm` (then silence) and playing into out().
  void UseFile(const std::vector<BYTE>& pcm, const char* pace = "fast") {
    wave_test::WriteWav(dir_ / "in.wav", pcm);
    audio_.emplace("MURMELPOST_AUDIO",
                   "file:in=" + (dir_ / "in.wav") + ",out=" + out() + ",pace=" + pace);
  }
  std::string out() const { return dir_ / "out.wav"; }

  std::u16string TimeText() const {
    WCHAR text[32]{};
    GetWindowTextW(PanelControl(window_, IDC_TIME_DISPLAY), text, 32);
    return text;
  }
  int Progress() const {
    return static_cast<int>(SendMessageW(PanelControl(window_, IDC_PROGRESS), PBM_GETPOS, 0, 0));
  }
  bool Enabled(int id) const { return IsWindowEnabled(PanelControl(window_, id)) != FALSE; }

  // Dispatches messages until `done` holds; false only when nothing arrives for a long while
  // (a lost notification), so a broken engine fails instead of hanging.
  static bool Pump(const std::function<bool()>& done) {
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (MSG msg; !done();) {
      if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&msg);
        give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
      } else if (std::chrono::steady_clock::now() > give_up) {
        return false;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    return true;
  }
  // Until the engines are idle, then whatever still arrives (the buffers a reset returned).
  static bool Idle() {
    return appState.recorderState == RECORDER_IDLE && appState.waveDeviceOpen == 0;
  }
  static bool PumpUntilIdle() {
    const bool idle = Pump(Idle);
    Drain();
    return idle;
  }
  static void Drain() {
    MSG msg;
    for (int quiet = 0; quiet < 50; Sleep(2)) {
      quiet =
          PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) ? (DispatchMessageW(&msg), 0) : quiet + 1;
    }
  }

  static std::vector<BYTE> VoicePcm(int buffers, unsigned seed = 1) {
    return wave_test::Pattern(static_cast<std::size_t>(buffers) * PCM_BUFFER_SIZE, seed);
  }
  static std::vector<BYTE> EncodedChunk(const BYTE* pcm) {
    std::vector<BYTE> chunk(VOICE_CHUNK_SIZE);
    EncodeVoiceBuffer(chunk.data(), pcm, PCM_BUFFER_SIZE);
    return chunk;
  }
  static std::vector<std::vector<BYTE>> StoredChunks() {
    std::vector<std::vector<BYTE>> chunks;
    if (appState.voiceHead == nullptr) return chunks;
    for (VoiceNode* node = appState.voiceHead->next; node != appState.voiceTail;
         node = node->next) {
      chunks.emplace_back(node->chunk, node->chunk + VOICE_CHUNK_SIZE);
    }
    return chunks;
  }

  static inline Hook before_;
  static inline Hook after_;
  HWND window_ = nullptr;

 private:
  static LRESULT Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (before_) before_(window, message, wParam, lParam);
    if (message == WM_TIMER) {
      HandleVoiceTimer(window, wParam);
    } else if (!HandleWaveNotification(window, message, wParam, lParam)) {
      return DefWindowProcW(window, message, wParam, lParam);
    }
    if (after_) after_(window, message, wParam, lParam);
    return 0;
  }
  static HWND Child(HWND parent, const WCHAR* cls, int id) {
    return CreateWindowExW(0, cls, u"", WS_CHILD | WS_VISIBLE, 0, 0, 40, 14, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  }

  murmel::test::TempDir dir_;
  std::optional<murmel::test::ScopedEnv> audio_;
};
