#include "audio/wave_ring.h"

#include <mmsystem.h>

#include "state/app_state.h"
#include "state/scoped_resources.h"
#include "state/voice_units.h"

int InitMyRecord(HWND window) {
  auto* format = static_cast<WAVEFORMATEX*>(HeapZeroed(sizeof(WAVEFORMATEX)));
  if (format == nullptr) return -1;
  format->wFormatTag = WAVE_FORMAT_PCM;
  format->nChannels = 1;
  format->nSamplesPerSec = 8000;
  format->wBitsPerSample = 16;
  format->nBlockAlign = static_cast<WORD>(format->nChannels * format->wBitsPerSample / 8);
  format->nAvgBytesPerSec = format->nBlockAlign * format->nSamplesPerSec;
  format->cbSize = 0;
  appState.waveFormat = format;

  if (waveInGetNumDevs() == 0) {
    MessageBoxW(window, u"No wave audio recording devices found.", u"InitMyRecord", MB_OK);
    return -2;
  }
  appState.waveHeaders = static_cast<WAVEHDR*>(HeapZeroed(sizeof(WAVEHDR) * WAVE_RING_SIZE));
  if (appState.waveHeaders == nullptr) return -3;
  for (BYTE*& buffer : appState.waveBuffers) {
    buffer = static_cast<BYTE*>(HeapZeroed(PCM_BUFFER_SIZE));
    if (buffer == nullptr) return -4;
  }
  ResetWaveHeaders();
  return 0;
}

void ReleaseRecorder() {
  HeapRelease(appState.waveFormat);
  appState.waveFormat = nullptr;
  for (BYTE*& buffer : appState.waveBuffers) {
    HeapRelease(buffer);
    buffer = nullptr;
  }
  HeapRelease(appState.waveHeaders);
  appState.waveHeaders = nullptr;
}

void ResetWaveHeaders() {
  if (appState.waveHeaders == nullptr) return;
  for (int i = 0; i < WAVE_RING_SIZE; ++i) {
    WAVEHDR& header = appState.waveHeaders[i];
    header = WAVEHDR{};
    header.lpData = reinterpret_cast<LPSTR>(appState.waveBuffers[i]);
    header.dwBufferLength = PCM_BUFFER_SIZE;
  }
}
