#include "platform/gui/menu_table.h"

#include <cstdint>
#include <map>
#include <mutex>

namespace murmel::gui {

namespace {

constexpr UINT kEnablingBits = MF_GRAYED | MF_DISABLED;

struct MenuTable {
  std::mutex mutex;
  std::map<std::uintptr_t, std::vector<MenuItemData>> menus;
  std::uintptr_t next_handle = 0x4D0001;  // never 0, and far from window handles
};

MenuTable& Table() {
  static MenuTable table;
  return table;
}

HMENU AddMenuLocked(MenuTable& table) {
  const std::uintptr_t value = table.next_handle++;
  table.menus[value];
  return reinterpret_cast<HMENU>(value);
}

std::vector<MenuItemData>* FindLocked(MenuTable& table, HMENU menu) {
  const auto it = table.menus.find(reinterpret_cast<std::uintptr_t>(menu));
  return it == table.menus.end() ? nullptr : &it->second;
}

void DestroyLocked(MenuTable& table, HMENU menu) {
  const auto it = table.menus.find(reinterpret_cast<std::uintptr_t>(menu));
  if (it == table.menus.end()) return;
  const std::vector<MenuItemData> items = std::move(it->second);
  table.menus.erase(it);
  for (const MenuItemData& item : items) {
    if (item.popup != nullptr) DestroyLocked(table, item.popup);
  }
}

// Reads the template's little-endian words without ever reading past its end.
class TemplateReader {
 public:
  TemplateReader(const BYTE* bytes, std::size_t size) : bytes_(bytes), size_(size) {}

  bool Word(WORD& value) {
    if (position_ + 2 > size_) return false;
    value = static_cast<WORD>(bytes_[position_] | (bytes_[position_ + 1] << 8));
    position_ += 2;
    return true;
  }

  bool Text(std::u16string& text) {
    for (WORD ch = 0; Word(ch);) {
      if (ch == 0) return true;
      text.push_back(static_cast<char16_t>(ch));
    }
    return false;
  }

  bool Skip(std::size_t count) {
    if (position_ + count > size_) return false;
    position_ += count;
    return true;
  }

 private:
  const BYTE* bytes_;
  std::size_t size_;
  std::size_t position_ = 0;
};

// One level of items up to the one that carries MF_END; pop-ups recurse.
bool ReadLevel(MenuTable& table, TemplateReader& reader, HMENU menu, int depth) {
  if (depth > 16) return false;  // a template that nests deeper is not a menu anyone wrote
  for (;;) {
    WORD option = 0;
    if (!reader.Word(option)) return false;
    MenuItemData item;
    if ((option & MF_POPUP) == 0) {
      WORD id = 0;
      if (!reader.Word(id)) return false;
      item.id = id;
    }
    if (!reader.Text(item.text)) return false;
    item.flags = option & (kEnablingBits | MF_CHECKED);
    if ((option & MF_POPUP) != 0) {
      item.popup = AddMenuLocked(table);
      if (!ReadLevel(table, reader, item.popup, depth + 1)) return false;
    } else if ((option & ~MF_END) == 0 && item.id == 0 && item.text.empty()) {
      item.flags |= MF_SEPARATOR;  // how the resource compiler writes a separator
    }
    FindLocked(table, menu)->push_back(std::move(item));
    if ((option & MF_END) != 0) return true;
  }
}

}  // namespace

HMENU CreateMenuFromTemplate(const BYTE* bytes, std::size_t size) {
  if (bytes == nullptr) return nullptr;
  TemplateReader reader(bytes, size);
  WORD version = 0;
  WORD offset = 0;
  if (!reader.Word(version) || !reader.Word(offset) || version != 0 || !reader.Skip(offset))
    return nullptr;
  MenuTable& table = Table();
  std::lock_guard lock(table.mutex);
  HMENU menu = AddMenuLocked(table);
  if (!ReadLevel(table, reader, menu, 0)) {
    DestroyLocked(table, menu);
    return nullptr;
  }
  return menu;
}

bool DestroyMenuTree(HMENU menu) {
  MenuTable& table = Table();
  std::lock_guard lock(table.mutex);
  if (FindLocked(table, menu) == nullptr) return false;
  DestroyLocked(table, menu);
  return true;
}

bool MenuExists(HMENU menu) {
  MenuTable& table = Table();
  std::lock_guard lock(table.mutex);
  return FindLocked(table, menu) != nullptr;
}

std::optional<std::vector<MenuItemData>> MenuItems(HMENU menu) {
  MenuTable& table = Table();
  std::lock_guard lock(table.mutex);
  const std::vector<MenuItemData>* items = FindLocked(table, menu);
  if (items == nullptr) return std::nullopt;
  return *items;
}

HMENU SubMenuAt(HMENU menu, int position) {
  MenuTable& table = Table();
  std::lock_guard lock(table.mutex);
  const std::vector<MenuItemData>* items = FindLocked(table, menu);
  if (items == nullptr || position < 0 || static_cast<std::size_t>(position) >= items->size())
    return nullptr;
  return (*items)[static_cast<std::size_t>(position)].popup;
}

namespace {

MenuItemData* FindByCommandLocked(MenuTable& table, HMENU menu, UINT id) {
  std::vector<MenuItemData>* items = FindLocked(table, menu);
  if (items == nullptr) return nullptr;
  for (MenuItemData& item : *items) {
    if (item.popup != nullptr) {
      if (MenuItemData* found = FindByCommandLocked(table, item.popup, id)) return found;
    } else if ((item.flags & MF_SEPARATOR) == 0 && item.id == id) {
      return &item;
    }
  }
  return nullptr;
}

}  // namespace

long SetItemEnabling(HMENU menu, UINT item, bool by_position, UINT enabling) {
  MenuTable& table = Table();
  std::lock_guard lock(table.mutex);
  MenuItemData* target = nullptr;
  if (by_position) {
    std::vector<MenuItemData>* items = FindLocked(table, menu);
    if (items != nullptr && item < items->size()) target = &(*items)[item];
  } else {
    target = FindByCommandLocked(table, menu, item);
  }
  if (target == nullptr) return -1;
  const UINT previous = target->flags & kEnablingBits;
  target->flags = (target->flags & ~kEnablingBits) | (enabling & kEnablingBits);
  return static_cast<long>(previous);
}

}  // namespace murmel::gui
