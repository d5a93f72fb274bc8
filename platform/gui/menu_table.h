// The menus of the process: each handle names a list of items, a pop-up item owns the
// handle of its own menu. Any thread may read or change a menu (a worker grays an item
// while the user-interface thread shows another), so every access goes through the table.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "win/gui_menu.h"

namespace murmel::gui {

struct MenuItemData {
  std::u16string text;
  UINT id = 0;
  UINT flags = 0;         // MF_GRAYED, MF_DISABLED, MF_CHECKED, MF_SEPARATOR
  HMENU popup = nullptr;  // set for an item that opens a pop-up
};

// A new menu from template bytes (header, then items); null when they are malformed.
HMENU CreateMenuFromTemplate(const BYTE* bytes, std::size_t size);
// Destroys the menu and its pop-ups; false for an unknown handle.
bool DestroyMenuTree(HMENU menu);
bool MenuExists(HMENU menu);
// A copy of the menu's items, or nothing for an unknown handle.
std::optional<std::vector<MenuItemData>> MenuItems(HMENU menu);
HMENU SubMenuAt(HMENU menu, int position);
// Sets the item's MF_GRAYED | MF_DISABLED bits; returns the previous ones, or -1 when no item
// matches (or the menu is unknown).
long SetItemEnabling(HMENU menu, UINT item, bool by_position, UINT enabling);

}  // namespace murmel::gui
