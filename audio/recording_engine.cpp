#include "audio/recording_engine.h"

#include <algorithm>

#include "audio/compression_thread.h"
#include "audio/pcm_queue.h"
#include "audio/voice_display.h"
#include "audio/voice_store.h"
#include "audio/wave_ring.h"
#include "resources/resource_ids.h"
#include "state/app_state.h"
#include "state/voice_units.h"

namespace {

// Each header's dwUser holds the turn at which it went to the input device (from 1), and 0
// once its return has been handled. A return handled late (after a synchronous close) is
// then recognisable, and returns still waiting can be taken in capture order.
DWORD_PTR captureTurn = 0;

bool IsRingHeader(const WAVEHDR* header) {
  if (appState.waveHeaders == nullptr) return false;
  return std::any_of(appState.waveHeaders, appState.waveHeaders + WAVE_RING_SIZE,
                     [header](const WAVEHDR& ring) { return &ring == header; });
}

bool IsFull(const WAVEHDR& header) { return header.dwBytesRecorded == PCM_BUFFER_SIZE; }

// The returned buffer with the oldest turn whose notification has not been handled yet.
WAVEHDR* OldestWaitingReturn() {
  WAVEHDR* oldest = nullptr;
  for (int i = 0; i < WAVE_RING_SIZE; ++i) {
    WAVEHDR& header = appState.waveHeaders[i];
    const bool returned = (header.dwFlags & WHDR_DONE) != 0 && (header.dwFlags & WHDR_INQUEUE) == 0;
    if (header.dwUser != 0 && returned && (oldest == nullptr || header.dwUser < oldest->dwUser)) {
      oldest = &header;
    }
  }
  return oldest;
}

// Takes every returned buffer still waiting for its notification, in capture order.
void KeepReturnedBuffers() {
  while (WAVEHDR* header = OldestWaitingReturn()) {
    header->dwUser = 0;
    // A full buffer captured before the stop belongs to this recording; with no
    // compression thread (or no memory) it is dropped rather than left for the next one.
    if (IsFull(*header) && appState.pcmQueueLock != nullptr) PutPcmBuffer(header);
  }
}

// Resets and closes after a failed start, so the device is never left open behind an
// idle recorder.
int AbandonStart(HWND window, int result) {
  appState.recorderState.store(RECORDER_IDLE);
  if (appState.waveIn != nullptr) waveInReset(appState.waveIn);
  CloseRecorder(window);
  return result;
}

}  // namespace

int StartRecording(HWND window) {
  if (appState.waveDeviceOpen != 0) return -1;
  appState.ringIndex = 0;
  appState.recordedBytes = 0;
  appState.recordingAvailable.store(0);

  HWAVEIN device = nullptr;
  if (waveInOpen(&device, WAVE_MAPPER, appState.waveFormat, reinterpret_cast<DWORD_PTR>(window), 0,
                 CALLBACK_WINDOW) != MMSYSERR_NOERROR) {
    return -1;
  }
  appState.waveIn = device;
  appState.waveDeviceOpen = 1;
  ResetWaveHeaders();
  for (int i = 0; i < WAVE_RING_SIZE; ++i) {
    if (waveInPrepareHeader(device, &appState.waveHeaders[i], sizeof(WAVEHDR)) !=
        MMSYSERR_NOERROR) {
      CloseRecorder(window);
      return -2;
    }
  }

  // The previous recording is discarded here, sent or not.
  InitVoiceStore();
  appState.playCursor = nullptr;
  captureTurn = 0;

  if (RequeueCaptureBuffer(window) != 0) return AbandonStart(window, -3);
  if (RequeueCaptureBuffer(window) != 0) return AbandonStart(window, -6);
  if (waveInStart(device) != MMSYSERR_NOERROR) return AbandonStart(window, -5);

  appState.recorderState.store(RECORDER_RECORDING);
  SetVoiceProgressRange(window, static_cast<int>(MAX_RECORD_BYTES / PCM_BUFFER_SIZE));
  ShowVoiceTime(window, 0);
  SetTimer(window, RECORD_TIMER_ID, VOICE_TIMER_PERIOD, nullptr);
  // Without a lock or a thread nothing can be compressed: the first full buffer then
  // fails to store, which reports it and stops the recording.
  StartCompression();
  return 0;
}

int RequeueCaptureBuffer(HWND window) {
  WAVEHDR& header = appState.waveHeaders[appState.ringIndex];
  if (waveInAddBuffer(appState.waveIn, &header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
    StopRecording(window);
    return -1;
  }
  header.dwUser = ++captureTurn;
  appState.ringIndex = (appState.ringIndex + 2) % WAVE_RING_SIZE;
  return 0;
}

void StopRecording(HWND window) {
  appState.recorderState.store(RECORDER_IDLE);
  if (appState.waveIn == nullptr || waveInReset(appState.waveIn) != MMSYSERR_NOERROR) return;
  KillTimer(window, RECORD_TIMER_ID);
  ShowVoiceTime(window, 0);
}

int StopRecordingForSend(HWND window) {
  if (appState.recorderState.load() == RECORDER_RECORDING) StopRecording(window);
  if (appState.waveIn != nullptr) CloseRecorder(window);
  return appState.recordingAvailable.load();
}

void OnCapturedBuffer(HWND window, WAVEHDR* header) {
  if (!IsRingHeader(header)) return;
  // A return already taken by a synchronous close: the recording it belonged to is over.
  if (header->dwUser == 0) {
    EnablePanelButton(window, IDC_PLAY, TRUE);
    return;
  }
  if (appState.recorderState.load() == RECORDER_RECORDING && appState.waveIn != nullptr) {
    RequeueCaptureBuffer(window);
    if (StoreCapturedBuffer(window, header) == -1) {
      StopRecording(window);
      EnablePanelButton(window, IDC_PLAY, TRUE);
    }
    return;
  }
  // Stopped: the first return closes the recorder, keeping this buffer and any other
  // full one still waiting, so none is lost and none reaches the next recording.
  CloseRecorder(window);
  EnablePanelButton(window, IDC_PLAY, TRUE);
}

int StoreCapturedBuffer(HWND /*window*/, WAVEHDR* header) {
  header->dwUser = 0;
  // A reset returns partly filled and empty buffers: their audio is never kept.
  if (!IsFull(*header)) return 0;
  if (appState.pcmQueueLock == nullptr || PutPcmBuffer(header) != 1) {
    MessageBoxW(nullptr, u"Out of Memory", u"error", MB_OK);
    return -1;
  }
  return 0;
}

void CloseRecorder(HWND window) {
  if (appState.waveDeviceOpen == 0 || appState.waveIn == nullptr) return;
  KeepReturnedBuffers();
  for (int i = 0; i < WAVE_RING_SIZE; ++i) {
    // Still with the device: the next returned buffer tries again.
    if (waveInUnprepareHeader(appState.waveIn, &appState.waveHeaders[i], sizeof(WAVEHDR)) !=
        MMSYSERR_NOERROR) {
      return;
    }
  }
  appState.recordingAvailable.store(1);
  if (waveInClose(appState.waveIn) != MMSYSERR_NOERROR) return;
  appState.waveIn = nullptr;
  appState.waveDeviceOpen = 0;
  // The thread compresses what is still queued before it ends.
  FinishCompression();
  appState.recordedBytes = static_cast<DWORD>(appState.voiceChunkCount) * PCM_BUFFER_SIZE;
  if (appState.recordedBytes != 0) {
    EnablePanelButton(window, IDC_PLAY, TRUE);
  } else {
    appState.recordingAvailable.store(0);
    ClearVoiceTime(window);
  }
}

void OnRecorderClosed(HWND window) { EnablePanelButton(window, IDC_PLAY, TRUE); }

void ShowRecordingTime(HWND window) {
  if (appState.waveIn == nullptr) return;
  MMTIME time{};
  time.wType = TIME_BYTES;
  if (waveInGetPosition(appState.waveIn, &time, sizeof(MMTIME)) != MMSYSERR_NOERROR) return;
  ShowVoiceTime(window, time.u.cb);
  // The first tick past 64 s ends the recording.
  if (time.u.cb > MAX_RECORD_BYTES && appState.recorderState.load() == RECORDER_RECORDING) {
    StopRecording(window);
  }
}
