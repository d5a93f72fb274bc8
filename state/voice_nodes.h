// Node layout of the PCM queue and the recorded-voice store: payload first, then the
// links. Plain data, so the application state can hold the list anchors.
#pragma once

#include <windows.h>

#include "state/voice_units.h"

struct PcmNode {
  BYTE pcm[PCM_BUFFER_SIZE];
  PcmNode* prev;
  PcmNode* next;
};

struct VoiceNode {
  BYTE chunk[VOICE_CHUNK_SIZE];
  VoiceNode* prev;
  VoiceNode* next;
};
