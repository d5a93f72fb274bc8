// The pop-up menu on the emulated screen: a frame of rows over a transparent layer that
// catches taps outside it, run as a modal loop that keeps dispatching posted messages.
#pragma once

#include <vector>

#include "platform/gui/menu_table.h"

namespace murmel::gui {

// Shows the items with (x, y) as the corner the TPM_* alignment flags name, kept on the
// screen. Returns the chosen item's index, or -1 when the menu was dismissed.
int RunPopupMenu(const std::vector<MenuItemData>& items, int x, int y, UINT flags);

}  // namespace murmel::gui
