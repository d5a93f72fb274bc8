#include "shell/main_window.h"

#include <aygshell.h>

#include "shell/input_panel_fit.h"
#include "shell/menu_commands.h"
#include "shell/skin.h"
#include "shell/startup.h"
#include "shell/voice_control.h"
#include "state/app_state.h"

LRESULT MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (HandleWaveNotification(window, message, wParam, lParam)) {
    return DefWindowProcW(window, message, wParam, lParam);
  }
  switch (message) {
    case WM_CREATE:
      OnCreate(window);
      break;
    case WM_DESTROY:
      return 0;
    case WM_ACTIVATE:
      FitTextToInputPanel(window);
      break;
    case WM_CLOSE:
      CloseApplication(window);
      return 0;
    case WM_ERASEBKGND:
      EraseBackground(window, reinterpret_cast<HDC>(wParam));
      return 1;
    case WM_SETTINGCHANGE:
      if (wParam == SPI_SETSIPINFO) FitTextToInputPanel(window);
      return 0;
    case WM_DRAWITEM:
      DrawMenuButton(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return 0;
    case WM_COMMAND:
      OnCommand(window, LOWORD(wParam), reinterpret_cast<HWND>(lParam), HIWORD(wParam));
      return 0;
    case WM_TIMER:
      HandleVoiceTimer(window, wParam);
      break;
    case WM_CLOSE_REQUEST:
      PostMessageW(window, WM_CLOSE, 0, 0);
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
