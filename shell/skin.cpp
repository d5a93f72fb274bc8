#include "shell/skin.h"

#include "resources/resource_ids.h"
#include "state/app_state.h"

namespace {

constexpr int TILE_STEP = 16;
constexpr int TILED_WIDTH = 240;
constexpr int TILED_HEIGHT = 320;

struct ButtonSkin {
  int controlId;
  int pressed;
  int disabled;  // the normal picture where the button has no faded one
  int normal;
  int size;
};

constexpr ButtonSkin PANEL_SKINS[] = {
    {IDC_RECORD, IDB_RECORD_PRESSED, IDB_RECORD_DISABLED, IDB_RECORD_NORMAL, 43},
    {IDC_STOP, IDB_STOP_PRESSED, IDB_STOP_NORMAL, IDB_STOP_NORMAL, 43},
    {IDC_PLAY, IDB_PLAY_PRESSED, IDB_PLAY_DISABLED, IDB_PLAY_NORMAL, 43},
    {IDC_SEND, IDB_SEND_PRESSED, IDB_SEND_DISABLED, IDB_SEND_NORMAL, 43},
};

constexpr ButtonSkin MENU_SKINS[] = {
    {IDC_OPTION, IDB_OPTION_PRESSED, IDB_OPTION_NORMAL, IDB_OPTION_NORMAL, 25},
    {IDC_HELP, IDB_HELP_PRESSED, IDB_HELP_NORMAL, IDB_HELP_NORMAL, 25},
};

HBITMAP LoadBitmapById(int id) { return LoadBitmapW(appState.instance, MAKEINTRESOURCEW(id)); }

// Copies the top-left width x height pixels of a bitmap to (x, y) of the target.
void CopyBitmapTo(HDC target, HDC memory, HBITMAP bitmap, int x, int y, int width, int height) {
  const HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(target, x, y, width, height, memory, 0, 0, SRCCOPY);
  SelectObject(memory, previous);
}

template <std::size_t N>
void DrawSkinnedButton(const DRAWITEMSTRUCT* item, const ButtonSkin (&skins)[N]) {
  for (const ButtonSkin& skin : skins) {
    if (static_cast<int>(item->CtlID) != skin.controlId) continue;
    const HDC memory = CreateCompatibleDC(item->hDC);
    if (memory == nullptr) return;
    int id = skin.normal;
    if ((item->itemState & ODS_SELECTED) != 0) {
      id = skin.pressed;
    } else if ((item->itemState & ODS_DISABLED) != 0) {
      id = skin.disabled;
    }
    // Loaded afresh for every drawing, so nothing is held between paints.
    const HBITMAP bitmap = LoadSkinBitmap(id);
    CopyBitmapTo(item->hDC, memory, bitmap, 0, 0, skin.size, skin.size);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return;
  }
}

}  // namespace

HBITMAP LoadSkinBitmap(int id) { return LoadBitmapById(id + appState.bitmapIdOffset); }

void DrawPanelButton(const DRAWITEMSTRUCT* item) { DrawSkinnedButton(item, PANEL_SKINS); }

void DrawMenuButton(const DRAWITEMSTRUCT* item) { DrawSkinnedButton(item, MENU_SKINS); }

LRESULT EraseBackground(HWND window, HDC dc) {
  if (appState.bitmapIdOffset != 0) {
    RECT client{};
    GetClientRect(window, &client);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    return 1;
  }
  const HDC memory = CreateCompatibleDC(dc);
  if (memory == nullptr) return 1;
  const HBITMAP tile = LoadBitmapById(IDB_BACKGROUND_TILE);
  // The whole screen's worth of tiles, whatever the window's size: 16 columns, 21 rows.
  for (int x = 0; x <= TILED_WIDTH; x += TILE_STEP) {
    for (int y = 0; y <= TILED_HEIGHT; y += TILE_STEP) {
      CopyBitmapTo(dc, memory, tile, x, y, TILE_STEP, TILE_STEP);
    }
  }
  DeleteObject(tile);
  DeleteDC(memory);
  return 1;
}
