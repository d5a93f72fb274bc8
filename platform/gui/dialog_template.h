// Reads a dialog template in the platform's binary layout.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "win/gui_dialog.h"

namespace murmel::gui {

// A class or title field: text, or an ordinal (0xFFFF followed by a number).
struct NameOrOrdinal {
  std::u16string text;
  WORD ordinal = 0;
  bool is_ordinal = false;
};

struct DialogItem {
  DWORD style = 0;
  DWORD ex_style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  WORD id = 0;
  NameOrOrdinal window_class;
  NameOrOrdinal title;
};

struct DialogTemplate {
  DWORD style = 0;
  DWORD ex_style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  std::u16string caption;
  WORD point_size = 0;
  std::u16string face;
  std::vector<DialogItem> items;
};

// The template; empty for a null pointer or an extended (DLGTEMPLATEEX) template. The
// caller vouches for the bytes, as the platform trusts a resource.
std::optional<DialogTemplate> ParseDialogTemplate(LPCDLGTEMPLATEW data);

// The class name a dialog item's class field stands for ("button", "EDIT", ...).
std::u16string ItemClassName(const NameOrOrdinal& window_class);

}  // namespace murmel::gui
