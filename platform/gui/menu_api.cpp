// The platform's menu calls over the menu table and the pop-up on the emulated screen.
#include "platform/gui/menu_popup.h"
#include "platform/gui/menu_table.h"
#include "platform/gui/screen.h"
#include "platform/message/window_registry.h"
#include "win/error.h"
#include "win/gui_dialog.h"
#include "win/gui_gdi.h"
#include "win/gui_menu.h"

HMENU LoadMenuIndirectW(const void* lpMenuTemplate) {
  // Without a size the template is trusted to end where its last MF_END says, as on the
  // platform; a template from a resource goes through LoadMenuW, which knows its size.
  constexpr std::size_t kUnknownSize = 0x10000;
  HMENU menu =
      murmel::gui::CreateMenuFromTemplate(static_cast<const BYTE*>(lpMenuTemplate), kUnknownSize);
  if (menu == nullptr) SetLastError(ERROR_INVALID_DATA);
  return menu;
}

HMENU LoadMenuW(HINSTANCE hInstance, LPCWSTR lpMenuName) {
  HRSRC found = FindResourceW(hInstance, lpMenuName, MAKEINTRESOURCEW(RT_MENU));
  if (found == nullptr) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  const void* bytes = LockResource(LoadResource(hInstance, found));
  HMENU menu = murmel::gui::CreateMenuFromTemplate(static_cast<const BYTE*>(bytes),
                                                   SizeofResource(hInstance, found));
  if (menu == nullptr) SetLastError(ERROR_INVALID_DATA);
  return menu;
}

HMENU GetSubMenu(HMENU hMenu, int nPos) { return murmel::gui::SubMenuAt(hMenu, nPos); }

int GetMenuItemCount(HMENU hMenu) {
  const auto items = murmel::gui::MenuItems(hMenu);
  if (!items) {
    SetLastError(ERROR_INVALID_MENU_HANDLE);
    return -1;
  }
  return static_cast<int>(items->size());
}

BOOL EnableMenuItem(HMENU hMenu, UINT uIDEnableItem, UINT uEnable) {
  if (!murmel::gui::MenuExists(hMenu)) {
    SetLastError(ERROR_INVALID_MENU_HANDLE);
    return -1;
  }
  return static_cast<BOOL>(
      murmel::gui::SetItemEnabling(hMenu, uIDEnableItem, (uEnable & MF_BYPOSITION) != 0, uEnable));
}

BOOL DestroyMenu(HMENU hMenu) {
  if (!murmel::gui::DestroyMenuTree(hMenu)) {
    SetLastError(ERROR_INVALID_MENU_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL TrackPopupMenuEx(HMENU hMenu, UINT uFlags, int x, int y, HWND hWnd, LPTPMPARAMS /*lptpm*/) {
  const auto items = murmel::gui::MenuItems(hMenu);
  if (!items) {
    SetLastError(ERROR_INVALID_MENU_HANDLE);
    return FALSE;
  }
  // The owner must be a window of the calling thread: that thread runs the menu's loop.
  if (murmel::message::WindowOwnerQueue(hWnd) == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (murmel::message::WindowOwnerQueue(hWnd) != murmel::message::CurrentThreadQueue() ||
      !murmel::gui::OnGuiThread()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const int chosen = murmel::gui::RunPopupMenu(*items, x, y, uFlags);
  const UINT command = chosen < 0 ? 0 : (*items)[static_cast<std::size_t>(chosen)].id;
  if ((uFlags & TPM_RETURNCMD) != 0) return static_cast<BOOL>(command);
  // The choice arrives after the menu has closed, in order with what was posted meanwhile.
  if (chosen >= 0) PostMessageW(hWnd, WM_COMMAND, static_cast<WPARAM>(MAKELONG(command, 0)), 0);
  return TRUE;
}
