// The one application state record: every part of the client shares its data through the
// named fields of `appState`. All fields start zero except `compressStop`.
#pragma once

#include <mmsystem.h>
#include <windows.h>

#include <atomic>
#include <mutex>

#include "state/voice_nodes.h"

// A text that two threads write (the transfer threads both set the server host): every
// access goes through the lock, and readers take a copy rather than a pointer.
template <std::size_t N>
class SharedText {
 public:
  void Assign(const WCHAR* text) {
    std::lock_guard<std::mutex> guard(lock_);
    text_ = text;
  }
  Text<N> Copy() const {
    std::lock_guard<std::mutex> guard(lock_);
    return text_;
  }

 private:
  mutable std::mutex lock_;
  Text<N> text_;
};

// What the recorder is busy with: `recorderState`.
constexpr int RECORDER_IDLE = 0;
constexpr int RECORDER_RECORDING = 1;
constexpr int RECORDER_PLAYING = 2;
constexpr int RECORDER_SENDING = 3;

// What the custom picture session does: `customPictureMode`.
constexpr int PICTURE_CLEAR = 0;
constexpr int PICTURE_REGISTER = 1;

struct AppState {
  // Shell.
  HINSTANCE instance{};
  HWND mainWindow{};
  HMENU menu{};
  int bitmapIdOffset{};
  // The panel's procedure before subclassing (the platform's window procedure type).
  LRESULT (*panelDefaultProc)(HWND, UINT, WPARAM, LPARAM){};
  Text<1024> recipientsText;
  Text<1024> subjectText;
  Text<1024> messageText;
  int hasMessageText{};
  Text<260> attachmentPath;
  Text<260> attachmentName;
  Text<260> customPicturePath;
  int customPictureMode{};  // PICTURE_...
  std::atomic<HANDLE> customPictureThread{};
  DWORD customPictureThreadId{};
  std::atomic<HANDLE> sendThread{};
  DWORD sendThreadId{};
  std::atomic<int> cancelRequested{};
  std::atomic<int> recorderState{};  // RECORDER_...
  int waveDeviceOpen{};
  std::atomic<int> recordingAvailable{};
  int playbackPending{};
  int buffersDone{};
  int toSelStart{};
  int toSelEnd{};

  // Transfer.
  SharedText<256> serverHost;
  DWORD transferTotal{};
  Text<5> progressText;  // at most "100%"

  // Sender's profile.
  Text<256> email;
  Text<256> name;
  Text<10> sex;
  Text<128> city;
  Text<128> state;
  Text<128> country;

  // Voice lists.
  PcmNode* pcmQueueHead{};
  PcmNode* pcmQueueTail{};
  HANDLE pcmQueueLock{};
  VoiceNode* voiceHead{};
  VoiceNode* voiceTail{};
  std::atomic<int> voiceChunkCount{};  // the compression thread counts, others watch

  // Recording engine.
  WAVEFORMATEX* waveFormat{};
  WAVEHDR* waveHeaders{};  // a ring of three
  BYTE* waveBuffers[3]{};
  int ringIndex{};
  HWAVEIN waveIn{};
  DWORD recordedBytes{};
  // 1 while no compression thread is wanted, so a stray thread ends at once.
  std::atomic<int> compressStop{1};
  std::atomic<HANDLE> compressThread{};

  // Playback engine.
  HWAVEOUT waveOut{};
  VoiceNode* playCursor{};
  BYTE playChunk[VOICE_CHUNK_SIZE]{};
  DWORD streamedBytes{};
};

extern AppState appState;
