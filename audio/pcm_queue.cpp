#include "audio/pcm_queue.h"

#include <algorithm>
#include <cstring>

#include "audio/voice_list.h"
#include "state/app_state.h"

namespace {

void TakeQueueLock() { WaitForSingleObject(appState.pcmQueueLock, INFINITE); }
void ReleaseQueueLock() { SetEvent(appState.pcmQueueLock); }

}  // namespace

int InitPcmQueue() {
  if (appState.pcmQueueHead != nullptr || appState.pcmQueueTail != nullptr) FreePcmQueue();
  return CreateVoiceList(appState.pcmQueueHead, appState.pcmQueueTail);
}

void FreePcmQueue() { ReleaseVoiceList(appState.pcmQueueHead, appState.pcmQueueTail); }

int PutPcmBuffer(const WAVEHDR* header) {
  TakeQueueLock();
  if (appState.pcmQueueHead == nullptr || appState.pcmQueueTail == nullptr) {
    ReleaseQueueLock();
    return -1;
  }
  PcmNode* node = AllocateVoiceNode<PcmNode>();
  if (node == nullptr) {
    ReleaseQueueLock();
    return -1;
  }
  // The device always fills whole buffers; a shorter count leaves the rest silent.
  const DWORD bytes = std::min<DWORD>(header->dwBytesRecorded, PCM_BUFFER_SIZE);
  std::memcpy(node->pcm, header->lpData, bytes);
  LinkBeforeTail(appState.pcmQueueTail, node);
  ReleaseQueueLock();
  return 1;
}

int GetPcmBuffer(BYTE* destination) {
  TakeQueueLock();
  PcmNode* head = appState.pcmQueueHead;
  PcmNode* tail = appState.pcmQueueTail;
  if (head == nullptr || tail == nullptr || head->next == tail) {
    ReleaseQueueLock();
    return -1;
  }
  PcmNode* oldest = head->next;
  std::memcpy(destination, oldest->pcm, PCM_BUFFER_SIZE);
  head->next = oldest->next;
  oldest->next->prev = head;
  ReleaseVoiceNode(oldest);
  ReleaseQueueLock();
  return 1;
}
