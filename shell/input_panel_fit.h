// The text box shares the screen with the soft input panel.
#pragma once

#include <windows.h>

// Gives the text box the height left between its top and the visible desktop's bottom,
// less a margin that depends on whether the input panel is raised.
void FitTextToInputPanel(HWND window);
