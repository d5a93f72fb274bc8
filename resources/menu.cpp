// Menu 103, written as its resource script would be. The OPTION pop-up comes first and
// HELP second: the shell takes them by position.
#include "resources/menu.h"

#include <windows.h>

#include <vector>

#include "resources/resource_ids.h"
#include "win/gui_menu_template.h"

namespace {

using murmel::resources::MenuItem;
using murmel::resources::MenuSeparator;
using murmel::resources::Popup;

const std::vector<BYTE>& MainMenuTemplate() {
  static const std::vector<BYTE> bytes = murmel::resources::MenuTemplate({
      Popup(u"OPTION",
            {
                MenuItem(u"Attach File or Picture to Message...", IDM_ATTACH_FILE),
                // Grayed until a file is attached.
                MenuItem(u"Clear Attached File or Picture", IDM_CLEAR_ATTACHMENT, MF_GRAYED),
                MenuSeparator(),
                MenuItem(u"Custom Message Picture...", IDM_CUSTOM_PICTURE),
                MenuItem(u"Clear Custom Message Picture", IDM_CLEAR_CUSTOM_PICTURE),
                MenuSeparator(),
                MenuItem(u"Manage Murmelpost Address Book...", IDM_ADDRESS_BOOK),
                MenuItem(u"Change User Profile...", IDM_USER_PROFILE),
                MenuSeparator(),
                MenuItem(u"Exit", IDM_EXIT),
            }),
      Popup(u"HELP",
            {
                MenuItem(u"About Murmelpost...", IDM_ABOUT),
                MenuSeparator(),
                MenuItem(u"Murmelpost Quick Tutorial", IDM_QUICK_TUTORIAL),
                MenuItem(u"Murmelpost For CE Tutorial", IDM_CE_TUTORIAL),
                MenuSeparator(),
                MenuItem(u"Trouble Recording", IDM_TROUBLE_RECORDING),
                MenuItem(u"Trouble Playing Back Before Sending", IDM_TROUBLE_PLAYING),
                MenuItem(u"Trouble Sending", IDM_TROUBLE_SENDING),
                MenuItem(u"Trouble Address Book", IDM_TROUBLE_ADDRESS_BOOK),
                MenuSeparator(),
                MenuItem(u"Murmelpost Homepage", IDM_HOMEPAGE),
            }),
  });
  return bytes;
}

}  // namespace

void RegisterMenuResources() {
  // The template lives as long as the program, so the table may point into it.
  static const MURMEL_RESOURCE entry{RT_MENU, static_cast<WORD>(IDR_MAIN_MENU),
                                     MainMenuTemplate().data(),
                                     static_cast<DWORD>(MainMenuTemplate().size())};
  RegisterResourceTable(&entry, 1);
}
