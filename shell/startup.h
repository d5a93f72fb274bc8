// Start-up and shutdown of the client: one copy only, on the right platform, with a
// complete profile, one main window with its controls, and the message loop.
#pragma once

#include <windows.h>

// The program entry; always 0.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
                   int showCommand);

// 1 when the application is ready to run, 0 when it must end at once.
int InitInstance(HINSTANCE instance);
// 1 on the platform's major version 3; otherwise the refusal message and 0.
int CheckPlatform();
// Palette screens (1 to 255 entries) take the low-colour bitmaps.
void DetectColorDepth();
// Registers the window class and creates the main window into `mainWindow`: 1, or 0.
int CreateMainWindow();
// Runs until the quit message (or an error).
void MessageLoop();

// WM_CREATE of the main window.
void OnCreate(HWND window);
// WM_CLOSE and Exit: stops the voice, releases its memory and posts the quit message.
void CloseApplication(HWND window);
