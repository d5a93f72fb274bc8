// The recording engine: captures 8 kHz mono 16-bit PCM from the wave input device through
// the ring of three 5120-byte buffers and compresses it on its own thread into the
// recorded-voice store. Everything here runs on the window thread, except the compression
// thread's loop.
#pragma once

#include <mmsystem.h>
#include <windows.h>

// 64.0 s of PCM (200 buffers): the first timer tick past it stops the recording.
constexpr DWORD MAX_RECORD_BYTES = 1024000;

// Record button: 0 when capture has started; -1 device busy or open failed, -2 prepare
// failed, -3 / -6 first / second buffer not queued, -5 the device did not start.
int StartRecording(HWND window);
// Ends capture: the device returns every buffer it holds as MM_WIM_DATA, and the first of
// them closes the recorder (OnCapturedBuffer).
void StopRecording(HWND window);
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
// WM_TIMER with RECORD_TIMER_ID: shows the input position; past MAX_RECORD_BYTES, stops
// the recording.
void ShowRecordingTime(HWND window);
