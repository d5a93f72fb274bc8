// GSM 06.10 block codec: one 5120-byte PCM buffer to one 520-byte voice chunk and back,
// in the WAV49 layout (two frames per 65-byte block).
#pragma once

#include <windows.h>

#include "state/voice_units.h"

// Creates the calling thread's codec state in WAV49 mode: 0, or -1 when it cannot.
int OpenVoiceCodec();
void CloseVoiceCodec();

// Compresses pcmBytes of PCM (a multiple of 640, every caller passes PCM_BUFFER_SIZE) into
// chunk. Reads at most PCM_BUFFER_SIZE bytes and writes at most VOICE_CHUNK_SIZE.
int EncodeVoiceBuffer(BYTE* chunk, const BYTE* pcm, int pcmBytes);
// Expands chunk into pcmBytes of PCM. A block the codec refuses ends the chunk, leaving
// the rest of pcm as it was.
int DecodeVoiceBuffer(const BYTE* chunk, BYTE* pcm, int pcmBytes);
