// The send's progress on the button panel: the bar and the percentage in the time display.
#pragma once

// The transfer observer while the main window sends: moves the bar to percent and shows
// appState.progressText. Nothing without a main window.
void ShowSendProgress(int percent);
