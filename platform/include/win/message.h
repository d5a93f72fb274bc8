// Posted messages: one queue per thread, kept in order, retrieved by the thread that owns
// the window a message was posted to.
#pragma once

#include "win/error.h"
#include "win/types.h"

struct tagPOINT {
  LONG x;
  LONG y;
};
using POINT = tagPOINT;
using LPPOINT = POINT*;

struct tagMSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};
using MSG = tagMSG;
using PMSG = MSG*;
using LPMSG = MSG*;

#define WM_NULL 0x0000
#define WM_QUIT 0x0012
#define WM_KEYDOWN 0x0100  // TranslateMessage looks at key strokes
#define WM_TIMER 0x0113
#define WM_USER 0x0400
#define WM_APP 0x8000

// PeekMessageW options.
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
#define PM_NOYIELD 0x0002

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

LRESULT CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Calls the window procedure directly on the owning thread; from any other thread the
// call waits in the owner's sent-message queue, and the caller keeps serving calls sent to
// it meanwhile.
LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
LRESULT DispatchMessageW(const MSG* lpMsg);
BOOL TranslateMessage(const MSG* lpMsg);

// Queues the message for the thread that owns hWnd (the calling thread when hWnd is null).
BOOL PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Waits for a message; returns 0 for WM_QUIT, -1 for an invalid window, nonzero otherwise.
BOOL GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
BOOL PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg);
// WM_QUIT arrives once every message already posted to this thread has been retrieved.
void PostQuitMessage(int nExitCode);
BOOL IsWindow(HWND hWnd);
