#include "audio/voice_store.h"

#include <cstring>

#include "audio/voice_list.h"
#include "state/app_state.h"

int InitVoiceStore() {
  if (appState.voiceHead != nullptr) FreeVoiceStore();
  appState.voiceChunkCount = 0;
  return CreateVoiceList(appState.voiceHead, appState.voiceTail);
}

void FreeVoiceStore() {
  ReleaseVoiceList(appState.voiceHead, appState.voiceTail);
  appState.voiceChunkCount = 0;
}

int AppendVoiceChunk(const BYTE* chunk) {
  if (appState.voiceHead == nullptr || appState.voiceTail == nullptr) return -1;
  VoiceNode* node = AllocateVoiceNode<VoiceNode>();
  if (node == nullptr) return -1;
  std::memcpy(node->chunk, chunk, VOICE_CHUNK_SIZE);
  LinkBeforeTail(appState.voiceTail, node);
  ++appState.voiceChunkCount;
  return 1;
}

int ReadVoiceChunk(const VoiceNode* node, BYTE* chunk) {
  if (node == nullptr || appState.voiceTail == nullptr || node == appState.voiceTail) return -1;
  std::memcpy(chunk, node->chunk, VOICE_CHUNK_SIZE);
  return 1;
}
