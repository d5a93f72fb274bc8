// What the Pocket PC shell keeps per top-level window: the navigation-bar text set for it,
// the Done button and whether it was sized to fill the screen. User-interface thread only.
#pragma once

#include "win/gui.h"

namespace murmel::gui {

// Puts the text set for the newly active window (if any) into the navigation bar and
// shows or hides the Done button for it.
void ApplyShellNavigation(HWND active);
// Forgets a window that is going away.
void ForgetShellState(HWND window);
// Sized to the work area by SHInitDialog: drawn without a frame.
bool IsFullScreenDialog(HWND window);

}  // namespace murmel::gui
