#include "shell/voice_control.h"

#include "audio/compression_thread.h"
#include "audio/pcm_queue.h"
#include "audio/playback_engine.h"
#include "audio/recording_engine.h"
#include "audio/voice_display.h"
#include "audio/voice_store.h"
#include "audio/wave_ring.h"
#include "resources/resource_ids.h"
#include "state/app_state.h"

void StopRecorder(HWND window) {
  switch (appState.recorderState.load()) {
    case RECORDER_RECORDING:
      StopRecording(window);
      break;
    case RECORDER_PLAYING:
      StopPlayback(window);
      break;
    default:
      break;
  }
}

int SetUpRecorder(HWND window) {
  if (InitMyRecord(window) != 0) {
    ReleaseRecorder();
    return 1;
  }
  InitPcmQueue();
  return 0;
}

void ShutDownRecorder(HWND window) {
  if (appState.recorderState != RECORDER_IDLE) StopRecorder(window);
  // A stopped recording's thread may still be draining the queue.
  if (appState.compressThread.load() != nullptr) FinishCompression();
  FreePcmQueue();
  if (appState.recordingAvailable != 0) FreeVoiceStore();
  ReleaseRecorder();
}

int PressRecord(HWND window) {
  const int result = StartRecording(window);
  if (result == 0) EnablePanelButton(window, IDC_PLAY, FALSE);
  return result;
}

void PressStop(HWND window) {
  StopRecorder(window);
  EnablePanelButton(window, IDC_PLAY, TRUE);
  EnablePanelButton(window, IDC_RECORD, TRUE);
}

int PressPlay(HWND window) {
  const int result = StartPlayback(window);
  if (result == 0) EnablePanelButton(window, IDC_RECORD, FALSE);
  return result;
}

void EndVoiceForSend(HWND window) {
  if (appState.recorderState == RECORDER_PLAYING) StopPlayback(window);
  // Closing the recorder here, rather than on its returned buffers, means the send thread
  // finds the finished recording instead of racing the close; also after a Stop whose
  // buffers have not come back yet.
  StopRecordingForSend(window);
}

bool HandleWaveNotification(HWND window, UINT message, WPARAM /*wParam*/, LPARAM lParam) {
  switch (message) {
    case MM_WOM_OPEN:
      OnPlaybackOpened();
      return true;
    case MM_WOM_CLOSE:
      OnPlaybackClosed(window);
      return true;
    case MM_WOM_DONE:
      OnPlaybackBufferDone(window);
      return true;
    case MM_WIM_OPEN:
      appState.buffersDone = 0;
      return true;
    case MM_WIM_CLOSE:
      OnRecorderClosed(window);
      return true;
    case MM_WIM_DATA:
      OnCapturedBuffer(window, reinterpret_cast<WAVEHDR*>(lParam));
      return true;
    default:
      return false;
  }
}

void HandleVoiceTimer(HWND window, UINT_PTR timerId) {
  if (timerId == RECORD_TIMER_ID) {
    ShowRecordingTime(window);
  } else if (timerId == PLAYBACK_TIMER_ID) {
    ShowPlaybackTime(window);
  }
}
