#include "audio/compression_thread.h"

#include "audio/pcm_queue.h"
#include "audio/voice_codec.h"
#include "audio/voice_store.h"
#include "state/app_state.h"

namespace {

DWORD WINAPI CompressThread(LPVOID parameter) {
  HANDLE lock = parameter;
  BYTE pcm[PCM_BUFFER_SIZE];
  BYTE chunk[VOICE_CHUNK_SIZE];
  for (;;) {
    // Wait for the window thread to finish a put, without keeping the lock.
    if (WaitForSingleObject(lock, INFINITE) == WAIT_FAILED) break;
    SetEvent(lock);
    if (GetPcmBuffer(pcm) == 1) {
      EncodeVoiceBuffer(chunk, pcm, PCM_BUFFER_SIZE);
      // A chunk the store cannot take is lost; the recording goes on.
      AppendVoiceChunk(chunk);
      continue;
    }
    if (appState.compressStop.load() == 1) break;
    Sleep(COMPRESS_IDLE_SLEEP);
  }
  return 0;
}

}  // namespace

bool StartCompression() {
  HANDLE lock = CreateEventW(nullptr, FALSE, TRUE, u"PCM Queue Event");
  if (lock == nullptr) return false;
  appState.pcmQueueLock = lock;
  appState.compressStop.store(0);
  HANDLE thread = CreateThread(nullptr, 0, CompressThread, lock, 0, nullptr);
  if (thread == nullptr) {
    appState.compressStop.store(1);
    appState.pcmQueueLock = nullptr;
    CloseHandle(lock);
    return false;
  }
  appState.compressThread.store(thread);
  return true;
}

void FinishCompression() {
  appState.compressStop.store(1);
  HANDLE thread = appState.compressThread.load();
  if (thread != nullptr) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    appState.compressThread.store(nullptr);
  }
  // Only now is nobody left who could take the lock.
  if (appState.pcmQueueLock != nullptr) {
    CloseHandle(appState.pcmQueueLock);
    appState.pcmQueueLock = nullptr;
  }
}
