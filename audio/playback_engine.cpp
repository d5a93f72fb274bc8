#include "audio/playback_engine.h"

#include "audio/voice_codec.h"
#include "audio/voice_display.h"
#include "audio/voice_store.h"
#include "audio/wave_ring.h"
#include "resources/resource_ids.h"
#include "state/app_state.h"
#include "state/voice_units.h"

namespace {

// Decodes the next chunk into ring buffer `ringIndex`: 0 when filled, 1 when nothing is left.
int FillPlayBuffer() {
  if (appState.streamedBytes >= appState.recordedBytes) return 1;
  if (appState.playCursor == nullptr ||
      ReadVoiceChunk(appState.playCursor, appState.playChunk) != 1) {
    appState.playbackPending = 0;
    return 1;
  }
  WAVEHDR& header = appState.waveHeaders[appState.ringIndex];
  DecodeVoiceBuffer(appState.playChunk, reinterpret_cast<BYTE*>(header.lpData), PCM_BUFFER_SIZE);
  appState.playCursor = appState.playCursor->next;
  header.dwBufferLength = PCM_BUFFER_SIZE;
  appState.streamedBytes += PCM_BUFFER_SIZE;
  return 0;
}

void ClosePlayer() {
  for (int i = 0; i < WAVE_RING_SIZE; ++i) {
    // The device keeps a buffer it still plays; it stays open.
    if (waveOutUnprepareHeader(appState.waveOut, &appState.waveHeaders[i], sizeof(WAVEHDR)) !=
        MMSYSERR_NOERROR) {
      return;
    }
  }
  waveOutClose(appState.waveOut);
  appState.waveOut = nullptr;
  appState.waveDeviceOpen = 0;
}

// Two buffers in a row; the second is tried even when the first found nothing.
int PrimePlayback(HWND window) {
  if (PlayNextBuffer(window) != 0) return -1;
  if (PlayNextBuffer(window) != 0) return -1;
  return 0;
}

}  // namespace

int StartPlayback(HWND window) {
  if (appState.waveDeviceOpen != 0) return -1;
  if (appState.recordedBytes == 0) {
    appState.waveDeviceOpen = 0;
    appState.recordingAvailable.store(0);
    ClearVoiceTime(window);
    return -1;
  }
  SetVoiceProgressRange(window, static_cast<int>(appState.recordedBytes / PCM_BUFFER_SIZE));
  appState.playCursor = appState.voiceHead != nullptr ? appState.voiceHead->next : nullptr;
  appState.ringIndex = 0;
  appState.streamedBytes = 0;

  HWAVEOUT device = nullptr;
  if (waveOutOpen(&device, WAVE_MAPPER, appState.waveFormat, reinterpret_cast<DWORD_PTR>(window), 0,
                  CALLBACK_WINDOW) != MMSYSERR_NOERROR) {
    return -1;
  }
  appState.waveOut = device;
  appState.waveDeviceOpen = 1;
  ResetWaveHeaders();
  for (int i = 0; i < WAVE_RING_SIZE; ++i) {
    if (waveOutPrepareHeader(device, &appState.waveHeaders[i], sizeof(WAVEHDR)) !=
        MMSYSERR_NOERROR) {
      ClosePlayer();
      return -1;
    }
  }
  if (PrimePlayback(window) != 0) {
    // A failed write has already stopped playback, which closes the player; this is
    // for a close that could not finish then.
    if (appState.waveOut != nullptr) ClosePlayer();
    return -4;
  }
  appState.playbackPending = 2;
  appState.recorderState.store(RECORDER_PLAYING);
  ShowVoiceTime(window, 0);
  SetTimer(window, PLAYBACK_TIMER_ID, VOICE_TIMER_PERIOD, nullptr);
  // The third buffer: about a second of sound is then with the device.
  PlayNextBuffer(window);
  return 0;
}

int PlayNextBuffer(HWND window) {
  const int ring = appState.ringIndex;
  if (FillPlayBuffer() == 1) return 0;
  WAVEHDR& header = appState.waveHeaders[ring];
  // Clears the done flag of the buffer's previous use.
  header.dwFlags = WHDR_PREPARED;
  if (waveOutWrite(appState.waveOut, &header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
    StopPlayback(window);
    return -1;
  }
  appState.ringIndex = (ring + 2) % WAVE_RING_SIZE;
  return 0;
}

void StopPlayback(HWND window) {
  if (appState.waveDeviceOpen == 0 || appState.waveOut == nullptr) return;
  waveOutReset(appState.waveOut);
  KillTimer(window, PLAYBACK_TIMER_ID);
  // The label shows the whole recording's length, the progress bar full.
  ShowVoiceTime(window, appState.recordedBytes);
  appState.playbackPending = 0;
  appState.recorderState.store(RECORDER_IDLE);
  ClosePlayer();
  EnablePanelButton(window, IDC_RECORD, TRUE);
}

void OnPlaybackOpened() { appState.buffersDone = 0; }

void OnPlaybackBufferDone(HWND window) {
  // Returned by the reset of a playback that has already been closed.
  if (appState.waveOut == nullptr) {
    EnablePanelButton(window, IDC_RECORD, TRUE);
    return;
  }
  ++appState.buffersDone;
  if (appState.buffersDone == appState.voiceChunkCount) {
    appState.playbackPending = 0;
    StopPlayback(window);
    EnablePanelButton(window, IDC_RECORD, TRUE);
  } else if (appState.playbackPending != 0) {
    PlayNextBuffer(window);
  } else {
    StopPlayback(window);
    EnablePanelButton(window, IDC_RECORD, TRUE);
  }
}

void OnPlaybackClosed(HWND window) {
  // ClosePlayer has cleared the flag already; a device opened since then keeps it.
  if (appState.waveIn == nullptr && appState.waveOut == nullptr) appState.waveDeviceOpen = 0;
  EnablePanelButton(window, IDC_RECORD, TRUE);
}

void ShowPlaybackTime(HWND window) {
  if (appState.waveOut == nullptr) return;
  MMTIME time{};
  time.wType = TIME_BYTES;
  if (waveOutGetPosition(appState.waveOut, &time, sizeof(MMTIME)) != MMSYSERR_NOERROR) return;
  ShowVoiceTime(window, time.u.cb);
}
