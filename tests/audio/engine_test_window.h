// A main window for the engine tests: the button panel's time label, progress bar, Record
// and Play buttons, and a procedure that hands the wave notifications and the two timers
// to the engines as the client's main window does. Tests observe every message through a
// hook that runs after the engines have handled it.
#pragma once

#include <commctrl.h>
#include <mmsystem.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "audio/compression_thread.h"
#include "audio/pcm_queue.h"
#include "audio/playback_engine.h"
#include "audio/recording_engine.h"
#include "audio/voice_codec.h"
#include "audio/voice_display.h"
#include "audio/voice_store.h"
#include "audio/wave_ring.h"
#include "platform/audio/wave_test_helpers.h"
#include "resources/resource_ids.h"
#include "state/app_state.h"
#include "state/voice_units.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace engine_test {

using Hook = std::function<void(HWND, UINT, WPARAM, LPARAM)>;

// Runs before the engines see a message (to read a returned buffer as the device left it).
inline Hook& BeforeMessage() {
  static Hook hook;
  return hook;
}
inline Hook& AfterMessage() {
  static Hook hook;
  return hook;
}

inline LRESULT EngineWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (BeforeMessage()) BeforeMessage()(window, message, wParam, lParam);
  switch (message) {
    case MM_WIM_OPEN:
    case MM_WOM_OPEN:
      OnPlaybackOpened();
      break;
    case MM_WIM_DATA:
      OnCapturedBuffer(window, reinterpret_cast<WAVEHDR*>(lParam));
      break;
    case MM_WIM_CLOSE:
      OnRecorderClosed(window);
      break;
    case MM_WOM_DONE:
      OnPlaybackBufferDone(window);
      break;
    case MM_WOM_CLOSE:
      OnPlaybackClosed(window);
      break;
    case WM_TIMER:
      if (wParam == RECORD_TIMER_ID) ShowRecordingTime(window);
      if (wParam == PLAYBACK_TIMER_ID) ShowPlaybackTime(window);
      break;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
  if (AfterMessage()) AfterMessage()(window, message, wParam, lParam);
  return 0;
}

inline constexpr const WCHAR* kEngineClass = u"EngineTestWindow";

inline void StartGui() {
  static murmel::test::TempDir runtime;
  static const bool started = [] {
    setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = EngineWindowProc;
    window_class.lpszClassName = kEngineClass;
    return RegisterClassW(&window_class) != 0;
  }();
  ASSERT_TRUE(started);
}

// PCM of `buffers` capture buffers, each different from the others at every position.
inline std::vector<BYTE> VoicePcm(int buffers, unsigned seed = 1) {
  return wave_test::Pattern(static_cast<std::size_t>(buffers) * PCM_BUFFER_SIZE, seed);
}

inline std::vector<BYTE> EncodedChunk(const BYTE* pcm) {
  std::vector<BYTE> chunk(VOICE_CHUNK_SIZE);
  EncodeVoiceBuffer(chunk.data(), pcm, PCM_BUFFER_SIZE);
  return chunk;
}

inline std::vector<std::vector<BYTE>> StoredChunks() {
  std::vector<std::vector<BYTE>> chunks;
  if (appState.voiceHead == nullptr) return chunks;
  for (VoiceNode* node = appState.voiceHead->next; node != appState.voiceTail; node = node->next) {
    chunks.emplace_back(node->chunk, node->chunk + VOICE_CHUNK_SIZE);
  }
  return chunks;
}

// Handles what is still arriving until the queue has stayed empty for a moment (the
// buffers a reset returned, for instance).
inline void DrainNotifications() {
  MSG msg;
  for (int quiet = 0; quiet < 50;) {
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&msg);
      quiet = 0;
    } else {
      ++quiet;
      Sleep(2);
    }
  }
}

// The client's main window with the controls the engines drive, and the recorder set up as
// at window creation; everything is released again at the end, as at shutdown.
class EngineWindow {
 public:
  EngineWindow() {
    window_ = CreateWindowExW(0, kEngineClass, u"Engines", WS_VISIBLE, 0, 26, 240, 294, nullptr,
                              nullptr, nullptr, nullptr);
    panel_ = Child(window_, u"STATIC", u"", IDC_BUTTON_PANEL, 0, 180, 240, 114);
    Child(panel_, u"STATIC", u"0.0s", IDC_TIME_DISPLAY, 167, 55, 36, 14);
    Child(panel_, PROGRESS_CLASSW, u"", IDC_PROGRESS, 15, 60, 142, 8);
    Child(panel_, u"BUTTON", u"Record", IDC_RECORD, 10, 10, 40, 40);
    Child(panel_, u"BUTTON", u"Play", IDC_PLAY, 100, 10, 40, 40);
    init_result_ = InitMyRecord(window_);
    if (init_result_ == 0) InitPcmQueue();
  }
  ~EngineWindow() {
    BeforeMessage() = nullptr;
    AfterMessage() = nullptr;
    if (appState.recorderState.load() == RECORDER_RECORDING) StopRecording(window_);
    if (appState.recorderState.load() == RECORDER_PLAYING) StopPlayback(window_);
    // Returned buffers close the recorder; a device that will not close is left to the test.
    Pump([] { return appState.waveDeviceOpen == 0; });
    FinishCompression();
    FreePcmQueue();
    FreeVoiceStore();
    ReleaseRecorder();
    appState.recordedBytes = 0;
    appState.recordingAvailable.store(0);
    appState.playCursor = nullptr;
    DestroyWindow(window_);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  EngineWindow(const EngineWindow&) = delete;
  EngineWindow& operator=(const EngineWindow&) = delete;

  HWND window() const { return window_; }
  int init_result() const { return init_result_; }

  std::u16string TimeText() const {
    WCHAR text[32]{};
    GetWindowTextW(Control(IDC_TIME_DISPLAY), text, 32);
    return text;
  }
  int ProgressPosition() const {
    return static_cast<int>(SendMessageW(Control(IDC_PROGRESS), PBM_GETPOS, 0, 0));
  }
  bool Enabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }
  void Enable(int id, bool enable) const { EnableWindow(Control(id), enable ? TRUE : FALSE); }

  // Dispatches messages until `done` holds; false only if nothing happens for a long while
  // (a lost notification), so a broken engine fails instead of hanging.
  static bool Pump(const std::function<bool()>& done) {
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
      MSG msg;
      if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&msg);
        give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        continue;
      }
      if (std::chrono::steady_clock::now() > give_up) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

 private:
  static HWND Child(HWND parent, const WCHAR* cls, const WCHAR* text, int id, int x, int y, int w,
                    int h) {
    return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE, x, y, w, h, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  }
  HWND Control(int id) const { return GetDlgItem(panel_, id); }

  HWND window_ = nullptr;
  HWND panel_ = nullptr;
  int init_result_ = -100;
};

// The file audio device reading `pcm` (then silence) and playing into `out`, as fast as
// the engines hand over buffers.
struct FileAudio {
  explicit FileAudio(const std::vector<BYTE>& pcm, const std::string& pace = "fast")
      : in(dir / "in.wav"),
        out(dir / "out.wav"),
        env("MURMELPOST_AUDIO", "file:in=" + in + ",out=" + out + ",pace=" + pace) {
    wave_test::WriteWav(in, pcm);
  }
  murmel::test::TempDir dir;
  std::string in;
  std::string out;
  murmel::test::ScopedEnv env;
};

}  // namespace engine_test
