// The PCM queue: filled capture buffers on their way from the window thread to the
// compression thread, first in, first out, under the lock "PCM Queue Event"
// (appState.pcmQueueLock, created by the recorder).
#pragma once

#include <mmsystem.h>
#include <windows.h>

#include "state/voice_nodes.h"

// Releases any previous queue and creates an empty one: 0, or -1 when it stays absent.
int InitPcmQueue();
// Only while no compression thread runs.
void FreePcmQueue();
// Queues a copy of the audio of a buffer the input device returned: 1, or -1 when the
// queue is absent or out of memory (the audio is then lost).
int PutPcmBuffer(const WAVEHDR* header);
// Moves the oldest buffer into destination (PCM_BUFFER_SIZE bytes): 1, or -1 when empty.
int GetPcmBuffer(BYTE* destination);
