#include "shell/controls.h"

#include <aygshell.h>
#include <commctrl.h>

#include "resources/resource_ids.h"
#include "shell/button_panel.h"
#include "shell/skin.h"
#include "state/app_state.h"

namespace {

constexpr DWORD CHILD = WS_CHILD | WS_VISIBLE;
constexpr int ROUND_BUTTON_SIZE = 43;
constexpr int MENU_BUTTON_SIZE = 25;

struct Placement {
  int x;
  int y;
  int width;
  int height;
};

HWND CreateControl(HWND parent, DWORD exStyle, const WCHAR* windowClass, const WCHAR* text,
                   DWORD style, int id, const Placement& at) {
  return CreateWindowExW(exStyle, windowClass, text, CHILD | style, at.x, at.y, at.width, at.height,
                         parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         appState.instance, nullptr);
}

// A static control exactly as large as its skin bitmap, which it then owns.
HWND CreateBitmapControl(HWND parent, int id, int bitmapId, int x, int y, DWORD style) {
  const HBITMAP bitmap = LoadSkinBitmap(bitmapId);
  BITMAP size{};
  GetObjectW(bitmap, sizeof(size), &size);
  const HWND control = CreateControl(parent, 0, u"STATIC", nullptr, SS_BITMAP | style, id,
                                     {x, y, size.bmWidth, size.bmHeight});
  if (control == nullptr) return nullptr;
  SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
  return control;
}

HWND CreateOwnerDrawnButton(HWND parent, int id, int x, int y, int size) {
  return CreateControl(parent, 0, u"button", nullptr, BS_OWNERDRAW, id, {x, y, size, size});
}

}  // namespace

int CreateControls() {
  const HWND window = appState.mainWindow;
  if (CreateBitmapControl(window, 0, IDB_LOGO, 5, 5, SS_CENTERIMAGE) == nullptr) return 0;

  const HWND panel =
      CreateBitmapControl(window, IDC_BUTTON_PANEL, IDB_BUTTON_PANEL, 7, 35, SS_CENTERIMAGE);
  if (panel == nullptr) return 0;
  // The buttons are the panel's children, so their commands reach the panel first.
  appState.panelDefaultProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(panel, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&PanelWndProc)));

  // Its creation is not checked: a missing clock only hides the time.
  CreateControl(panel, WS_EX_STATICEDGE, u"STATIC", u"0.0s", SS_CENTER, IDC_TIME_DISPLAY,
                {167, 55, 36, 14});

  if (CreateBitmapControl(window, 0, IDB_FIELD_LABELS, 10, 120, 0) == nullptr) return 0;

  if (CreateControl(window, WS_EX_STATICEDGE, u"COMBOBOX", nullptr,
                    CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, IDC_RECIPIENTS,
                    {70, 114, 160, 100}) == nullptr) {
    return 0;
  }
  if (CreateControl(window, WS_EX_STATICEDGE, u"EDIT", nullptr, ES_AUTOHSCROLL | WS_TABSTOP,
                    IDC_SUBJECT, {70, 136, 160, 20}) == nullptr) {
    return 0;
  }
  if (CreateControl(window, WS_EX_STATICEDGE, u"EDIT", nullptr,
                    ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP, IDC_MESSAGE_TEXT,
                    {10, 158, 220, 150}) == nullptr) {
    return 0;
  }
  if (CreateControl(panel, WS_EX_STATICEDGE, PROGRESS_CLASSW, nullptr, 0, IDC_PROGRESS,
                    {15, 60, 142, 8}) == nullptr) {
    return 0;
  }

  // All six are made before any is checked.
  const HWND buttons[] = {
      CreateOwnerDrawnButton(panel, IDC_RECORD, 16, 5, ROUND_BUTTON_SIZE),
      CreateOwnerDrawnButton(panel, IDC_STOP, 65, 5, ROUND_BUTTON_SIZE),
      CreateOwnerDrawnButton(panel, IDC_PLAY, 114, 5, ROUND_BUTTON_SIZE),
      CreateOwnerDrawnButton(panel, IDC_SEND, 164, 5, ROUND_BUTTON_SIZE),
      CreateOwnerDrawnButton(window, IDC_OPTION, 175, 4, MENU_BUTTON_SIZE),
      CreateOwnerDrawnButton(window, IDC_HELP, 205, 4, MENU_BUTTON_SIZE),
  };
  for (const HWND button : buttons) {
    if (button == nullptr) return 0;
  }

  // The text box takes its real height before the window is first used.
  SendMessageW(window, WM_SETTINGCHANGE, SPI_SETSIPINFO, 0);
  return 1;
}
