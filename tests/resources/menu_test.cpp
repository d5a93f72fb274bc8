// Menu 103 as the client's users see it: the two pop-ups, their texts, command ids and the
// one item that starts grayed, read back from the bytes the program carries.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "resources/menu.h"
#include "resources/resource_ids.h"

namespace {

struct Item {
  std::u16string text;  // empty for a separator
  int id;
  bool grayed;
  bool operator==(const Item&) const = default;
};

void PrintTo(const Item& item, std::ostream* os) {
  *os << "{" << std::string(item.text.begin(), item.text.end()) << ", " << item.id
      << (item.grayed ? ", grayed}" : "}");
}

struct PopupRead {
  std::u16string title;
  std::vector<Item> items;
};

// Walks the template in the platform's layout: header, then for each pop-up its flags and
// title, then its items (flags, id, text); MF_END closes each level.
std::vector<PopupRead> ReadTemplate(const BYTE* bytes, DWORD size) {
  std::size_t at = 4;
  auto word = [&]() -> WORD {
    if (at + 2 > size) throw std::runtime_error("template ends early");
    const WORD value = static_cast<WORD>(bytes[at] | (bytes[at + 1] << 8));
    at += 2;
    return value;
  };
  auto text = [&] {
    std::u16string out;
    for (WORD ch = word(); ch != 0; ch = word()) out.push_back(static_cast<char16_t>(ch));
    return out;
  };
  std::vector<PopupRead> popups;
  for (bool last_popup = false; !last_popup;) {
    const WORD flags = word();
    EXPECT_TRUE(flags & MF_POPUP);
    last_popup = (flags & MF_END) != 0;
    PopupRead popup{text(), {}};
    for (bool last_item = false; !last_item;) {
      const WORD item_flags = word();
      last_item = (item_flags & MF_END) != 0;
      const int id = word();
      popup.items.push_back(Item{text(), id, (item_flags & MF_GRAYED) != 0});
    }
    popups.push_back(popup);
  }
  EXPECT_EQ(at, size) << "bytes after the last pop-up";
  return popups;
}

const Item kSeparator{u"", 0, false};

TEST(MainMenu, CarriesTheOptionAndHelpPopupsItemForItem) {
  RegisterMenuResources();
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_MAIN_MENU), MAKEINTRESOURCEW(RT_MENU));
  ASSERT_NE(found, nullptr);
  const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
  ASSERT_GE(SizeofResource(nullptr, found), 4u);
  EXPECT_EQ(bytes[0] | bytes[1] | bytes[2] | bytes[3], 0);  // version 0, items right after
  const std::vector<PopupRead> popups = ReadTemplate(bytes, SizeofResource(nullptr, found));
  ASSERT_EQ(popups.size(), 2u);
  EXPECT_EQ(popups[MENU_POS_OPTION].title, u"OPTION");
  EXPECT_EQ(popups[MENU_POS_OPTION].items, (std::vector<Item>{
                                               {u"Attach File or Picture to Message...", 0, false},
                                               {u"Clear Attached File or Picture", 60008, true},
                                               kSeparator,
                                               {u"Custom Message Picture...", 40009, false},
                                               {u"Clear Custom Message Picture", 40010, false},
                                               kSeparator,
                                               {u"Manage Murmelpost Address Book...", 40002, false},
                                               {u"Change User Profile...", 40004, false},
                                               kSeparator,
                                               {u"Exit", 40006, false},
                                           }));
  EXPECT_EQ(popups[MENU_POS_HELP].title, u"HELP");
  EXPECT_EQ(popups[MENU_POS_HELP].items, (std::vector<Item>{
                                             {u"About Murmelpost...", 40001, false},
                                             kSeparator,
                                             {u"Murmelpost Quick Tutorial", 40011, false},
                                             {u"Murmelpost For CE Tutorial", 40016, false},
                                             kSeparator,
                                             {u"Trouble Recording", 40012, false},
                                             {u"Trouble Playing Back Before Sending", 40013, false},
                                             {u"Trouble Sending", 40014, false},
                                             {u"Trouble Address Book", 40015, false},
                                             kSeparator,
                                             {u"Murmelpost Homepage", 40007, false},
                                         }));
}

TEST(MainMenu, LoadsWithClearAttachmentGrayedUntilEnabled) {
  RegisterMenuResources();
  HMENU menu = LoadMenuW(nullptr, MAKEINTRESOURCEW(IDR_MAIN_MENU));
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(GetMenuItemCount(GetSubMenu(menu, MENU_POS_OPTION)), 10);
  EXPECT_EQ(GetMenuItemCount(GetSubMenu(menu, MENU_POS_HELP)), 11);
  // The shell enables it through the top menu, by command.
  EXPECT_EQ(EnableMenuItem(menu, IDM_CLEAR_ATTACHMENT, MF_BYCOMMAND | MF_ENABLED), MF_GRAYED);
  EXPECT_EQ(EnableMenuItem(menu, IDM_CLEAR_ATTACHMENT, MF_BYCOMMAND | MF_GRAYED), MF_ENABLED);
  EXPECT_EQ(EnableMenuItem(menu, IDM_ATTACH_FILE, MF_BYCOMMAND | MF_ENABLED), MF_ENABLED);
  DestroyMenu(menu);
}

}  // namespace
