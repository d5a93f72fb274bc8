// Registering or clearing the sender's custom message picture: a short silent session
// on its own thread.
#pragma once

#include <windows.h>
#include <winsock2.h>

// Thread entry: reads appState.customPicturePath / customPictureMode and the profile
// once, runs the session, then closes and clears appState.customPictureThread.
DWORD WINAPI CustomPictureThread(LPVOID unused);

// 1 when every step succeeded, 0 otherwise. mode PICTURE_REGISTER registers the picture at
// picturePath, PICTURE_CLEAR clears it.
int RunCustomPictureSession(const WCHAR* sender, const WCHAR* picturePath, int mode);

// 0 or -1. A null path uploads nothing ("FLSZ0").
int UploadPictureFile(SOCKET s, const WCHAR* picturePath, int uploadType);
