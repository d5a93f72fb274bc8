// Helpers the two engines share for the button panel's time display.
#pragma once

#include <windows.h>

// The progress bar's range, 0 to upper.
void SetVoiceProgressRange(HWND window, int upper);
// The progress bar at 0 and the label "0.0s", as after a recording that kept nothing.
void ClearVoiceTime(HWND window);
