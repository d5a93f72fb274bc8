// The recorded-voice store: the voice chunks of the last recording, in recording order.
// No lock: only the compression thread appends, and nobody reads while it runs.
#pragma once

#include <windows.h>

#include "state/voice_nodes.h"

// Releases any previous store and creates an empty one: 0, or -1 when it stays absent.
int InitVoiceStore();
void FreeVoiceStore();
// Appends a copy of a VOICE_CHUNK_SIZE chunk: 1, or -1 (absent store, no memory).
int AppendVoiceChunk(const BYTE* chunk);
// Copies node's chunk: 1, or -1 at the tail. Readers walk from voiceHead->next.
int ReadVoiceChunk(const VoiceNode* node, BYTE* chunk);
