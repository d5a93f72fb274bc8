// The main window's controls, created once at start-up.
#pragma once

#include <windows.h>

// Creates every control of the main window and its button panel in their fixed order and
// places; 1, or 0 at the first control that could not be made.
int CreateControls();
