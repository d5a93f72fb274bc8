// The playback engine: decodes the recorded-voice store chunk by chunk into the recorder's
// ring of three buffers and streams them to the wave output device. Window thread only;
// it runs only after the recorder has closed, so the store is complete and unchanging.
#pragma once

#include <mmsystem.h>
#include <windows.h>

// Play button: 0 when playback has started; -1 device busy, nothing recorded, open or
// prepare failed; -4 when the first buffers could not be handed to the device.
int StartPlayback(HWND window);
// Ends playback at once; the label then shows the whole recording's length.
void StopPlayback(HWND window);
// Decodes the next chunk into the ring buffer in turn and writes it. 0 (also when nothing
// is left); -1 when the write failed and playback was stopped.
int PlayNextBuffer(HWND window);

// MM_WOM_OPEN: a new playback counts its finished buffers from zero.
void OnPlaybackOpened();
// MM_WOM_DONE: the end-of-buffer rule; the n-th finished buffer of n chunks ends playback.
// A buffer returned after the player closed only enables Record.
void OnPlaybackBufferDone(HWND window);
// MM_WOM_CLOSE: the output device is closed; Record is enabled again.
void OnPlaybackClosed(HWND window);
// WM_TIMER with PLAYBACK_TIMER_ID: shows the output position.
void ShowPlaybackTime(HWND window);
