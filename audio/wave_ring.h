// The wave format record and the ring of three 5120-byte buffers that recording and
// playback take turns to use: allocated once when the main window is created, released
// when it ends.
#pragma once

#include <windows.h>

constexpr int WAVE_RING_SIZE = 3;

// At window creation: the format record, a check for an input device (with its message box
// owned by window), the headers and the buffers. 0; -1 format, -2 no device, -3 header,
// -4 buffer. On failure the caller calls ReleaseRecorder and ends.
int InitMyRecord(HWND window);
// Releases whatever InitMyRecord allocated and clears the fields.
void ReleaseRecorder();
// Zeroes the three headers and points each at its buffer with a length of 5120.
void ResetWaveHeaders();
