// The compression thread of one recording: drains the PCM queue into the recorded-voice
// store, 5120 bytes of PCM to one 520-byte voice chunk at a time.
#pragma once

#include <windows.h>

// The thread's pause when it finds the PCM queue empty.
constexpr DWORD COMPRESS_IDLE_SLEEP = 400;

// Creates the lock "PCM Queue Event" (free) and the thread. False when either cannot be
// created; nothing is then left behind, and `pcmQueueLock` stays null.
bool StartCompression();
// Asks the thread to end once the queue is empty, waits for it, and releases the thread
// and the lock. The store is complete when this returns. Nothing to do without a thread.
void FinishCompression();
