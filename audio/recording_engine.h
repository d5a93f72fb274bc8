// The recording engine: captures 8 kHz mono 16-bit PCM from the wave input device through
// a ring of three 5120-byte buffers, compresses it on its own thread into the recorded-voice
// store, and owns the elapsed-time display shared with playback.
// Everything here runs on the window thread, except the compression thread's loop.
#pragma once

#include <mmsystem.h>
#include <windows.h>

#include "resources/resource_ids.h"

// 64.0 s of PCM (200 buffers): the first timer tick past it stops the recording.
constexpr DWORD MAX_RECORD_BYTES = 1024000;
constexpr int WAVE_RING_SIZE = 3;
// Timers of the main window: 1 while recording, 2 while playing, both every 250 ms.
constexpr UINT_PTR RECORD_TIMER_ID = 1;
constexpr UINT_PTR PLAYBACK_TIMER_ID = 2;
constexpr UINT VOICE_TIMER_PERIOD = 250;
// The compression thread's pause when it finds the PCM queue empty.
constexpr DWORD COMPRESS_IDLE_SLEEP = 400;
// The panel buttons the engines enable, under the names the shell uses.
constexpr int IDC_RECORD_BUTTON = IDC_RECORD;
constexpr int IDC_PLAY_BUTTON = IDC_PLAY;

// At window creation: the format record, a check for an input device (with its message box
// owned by window), the headers and the buffers. 0; -1 format, -2 no device, -3 header,
// -4 buffer. On failure the caller calls ReleaseRecorder and ends.
int InitMyRecord(HWND window);
// Releases whatever InitMyRecord allocated and clears the fields.
void ReleaseRecorder();
// Zeroes the three headers and points each at its buffer with a length of 5120.
void ResetWaveHeaders();

// Record button: 0 when capture has started; -1 device busy or open failed, -2 prepare
// failed, -3 / -6 first / second buffer not queued, -5 the device did not start.
int StartRecording(HWND window);
// Ends capture: the device returns every buffer it holds as MM_WIM_DATA, and the first of
// them closes the recorder (OnCapturedBuffer).
void StopRecording(HWND window);
// Stop button and shutdown: stops a recording or a playback, nothing otherwise.
void StopRecorder(HWND window);
// Send button during a recording: stops it and closes the recorder at once, keeping every
// buffer that was already full, so the send thread finds the finished recording in the
// store and `recordingAvailable` set. Returns `recordingAvailable`. Call it instead of
// StopRecording before the send thread starts; the buffers' later notifications then
// change nothing.
int StopRecordingForSend(HWND window);

// MM_WIM_DATA (lParam is the returned header): the captured-buffer rule.
void OnCapturedBuffer(HWND window, WAVEHDR* header);
// Hands the next ring buffer to the device (order 0, 2, 1). 0; -1 after stopping.
int RequeueCaptureBuffer(HWND window);
// Queues a full returned buffer for compression; a partial one is dropped. 0; -1 when the
// queue is out of memory (after the message box "Out of Memory").
int StoreCapturedBuffer(HWND window, WAVEHDR* header);
// Closes the input device, waits for the compression thread to drain the queue and sets
// `recordedBytes`. Does nothing while no device is open.
void CloseRecorder(HWND window);

// MM_WIM_CLOSE: the input device is closed; Play is enabled.
void OnRecorderClosed(HWND window);
// WM_TIMER with RECORD_TIMER_ID: shows the input position.
void ShowRecordingTime(HWND window);
// The shared display: "%5.1lfs" of position / 16000 in the time label, position / 5120 on
// the progress bar; past MAX_RECORD_BYTES while recording, stops the recording.
void ShowVoiceTime(HWND window, DWORD position);

// Enables or disables a button of the panel; used by both engines.
void EnablePanelButton(HWND window, int id, BOOL enable);
