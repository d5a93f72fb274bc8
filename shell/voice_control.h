// The main window's side of the recording and playback engines: what the buttons start and
// stop, the wave devices' notifications and the two display timers. Kept apart from the
// window procedures so that only this file speaks to the engines.
#pragma once

#include <windows.h>

// WM_CREATE: the recorder's buffers and the PCM queue. Nonzero when there is no recorder
// (its own message, if any, was shown); the recorder's memory is then already released.
int SetUpRecorder(HWND window);
// Shutdown: ends a recording or playback, waits for the compression thread and releases
// the voice lists and the recorder's memory.
void ShutDownRecorder(HWND window);

// Stop button and shutdown: stops a recording or a playback, nothing otherwise.
void StopRecorder(HWND window);
// Record: 0 when capture started (Play is then disabled).
int PressRecord(HWND window);
// Stop while no send runs: ends a recording or playback; Play and Record are enabled.
void PressStop(HWND window);
// Play: 0 when playback started (Record is then disabled).
int PressPlay(HWND window);
// Before a send: ends a playback, and ends a recording keeping what was captured so the
// message carries it.
void EndVoiceForSend(HWND window);

// MM_WOM_* and MM_WIM_* notifications; false for any other message.
bool HandleWaveNotification(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// WM_TIMER: the recording and playback clocks; other timers are ignored.
void HandleVoiceTimer(HWND window, UINT_PTR timerId);
