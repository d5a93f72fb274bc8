// Writes menu templates in the platform's binary layout, so that a program's menu resource
// reads like its resource script:
//
//   const std::vector<BYTE> bytes = MenuTemplate({
//       Popup(u"FILE", {MenuItem(u"Open...", 100), MenuSeparator(), MenuItem(u"Exit", 101)}),
//   });
//
// Layout: MENUITEMTEMPLATEHEADER (version 0, offset 0), then the items in order. A pop-up
// is its flags (MF_POPUP) and its UTF-16 text, followed by its own items; a command item is
// its flags, its id and its text; the last item of each level carries MF_END.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "win/gui_menu.h"
#include "win/types.h"

namespace murmel::resources {

struct MenuEntry {
  std::u16string text;
  WORD id = 0;
  WORD flags = 0;
  std::vector<MenuEntry> items;  // a pop-up's own items
};

inline MenuEntry MenuItem(const char16_t* text, WORD id, WORD flags = MF_STRING) {
  return MenuEntry{text, id, flags, {}};
}

// The resource compiler writes a separator as an item with no flags, id 0 and no text.
inline MenuEntry MenuSeparator() { return MenuEntry{u"", 0, 0, {}}; }

inline MenuEntry Popup(const char16_t* text, std::initializer_list<MenuEntry> items) {
  return MenuEntry{text, 0, MF_POPUP, items};
}

namespace menu_detail {

inline void PutWord(std::vector<BYTE>& out, WORD value) {
  out.push_back(static_cast<BYTE>(value & 0xFF));
  out.push_back(static_cast<BYTE>(value >> 8));
}

inline void PutLevel(std::vector<BYTE>& out, const std::vector<MenuEntry>& level) {
  for (std::size_t i = 0; i < level.size(); ++i) {
    const MenuEntry& entry = level[i];
    const bool last = i + 1 == level.size();
    PutWord(out, static_cast<WORD>(entry.flags | (last ? MF_END : 0)));
    if ((entry.flags & MF_POPUP) == 0) PutWord(out, entry.id);
    for (char16_t ch : entry.text) PutWord(out, static_cast<WORD>(ch));
    PutWord(out, 0);
    if ((entry.flags & MF_POPUP) != 0) PutLevel(out, entry.items);
  }
}

}  // namespace menu_detail

inline std::vector<BYTE> MenuTemplate(std::initializer_list<MenuEntry> menu) {
  std::vector<BYTE> out;
  menu_detail::PutWord(out, 0);  // versionNumber
  menu_detail::PutWord(out, 0);  // offset: the items follow the header directly
  menu_detail::PutLevel(out, std::vector<MenuEntry>(menu));
  return out;
}

}  // namespace murmel::resources
