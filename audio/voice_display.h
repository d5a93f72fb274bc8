// The button panel's time display, shared by recording and playback: the elapsed-time
// label, the progress bar, the clock timers and the panel buttons the engines enable.
// Window thread only.
#pragma once

#include <windows.h>

// Timers of the main window: 1 while recording, 2 while playing, both every 250 ms.
constexpr UINT_PTR RECORD_TIMER_ID = 1;
constexpr UINT_PTR PLAYBACK_TIMER_ID = 2;
constexpr UINT VOICE_TIMER_PERIOD = 250;

// A control of window's button panel, or null while the window, the panel or the control
// does not exist.
HWND PanelControl(HWND window, int id);
// The progress bar's range, 0 to upper.
void SetVoiceProgressRange(HWND window, int upper);
// The progress bar at 0 and the label "0.0s", as after a recording that kept nothing.
void ClearVoiceTime(HWND window);
// "%5.1lfs" of position / 16000 in the time label, position / 5120 on the progress bar.
void ShowVoiceTime(HWND window, DWORD position);
// Enables or disables a button of the panel.
void EnablePanelButton(HWND window, int id, BOOL enable);
