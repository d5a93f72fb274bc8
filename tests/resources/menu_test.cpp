// One registration gives the client everything it loads by id: the main menu, whose
// pop-ups the shell takes by position and whose items it enables and dispatches by command,
// and the dialog templates that other parts of the program contribute.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "resources/client_resources.h"
#include "resources/resource_ids.h"

namespace {

TEST(ClientResources, OneRegistrationProvidesTheMenuAndTheDialogTemplates) {
  // Registering twice must not matter: start-up and tests may both ask for it.
  RegisterClientResources();
  RegisterClientResources();
  for (int id : {IDD_ABOUT, IDD_USER_PROFILE, IDD_ADDRESS_BOOK}) {
    EXPECT_NE(FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_DIALOG), nullptr) << "dialog " << id;
  }

  const HMENU menu = LoadMenuW(nullptr, MAKEINTRESOURCEW(IDR_MAIN_MENU));
  ASSERT_NE(menu, nullptr);
  const struct {
    int position;
    std::vector<int> commands;
  } popups[] = {
      {MENU_POS_OPTION,
       {IDM_ATTACH_FILE, IDM_CLEAR_ATTACHMENT, IDM_CUSTOM_PICTURE, IDM_CLEAR_CUSTOM_PICTURE,
        IDM_ADDRESS_BOOK, IDM_USER_PROFILE, IDM_EXIT}},
      {MENU_POS_HELP,
       {IDM_ABOUT, IDM_QUICK_TUTORIAL, IDM_CE_TUTORIAL, IDM_TROUBLE_RECORDING, IDM_TROUBLE_PLAYING,
        IDM_TROUBLE_SENDING, IDM_TROUBLE_ADDRESS_BOOK, IDM_HOMEPAGE}},
  };
  for (const auto& popup : popups) {
    const HMENU sub = GetSubMenu(menu, popup.position);
    ASSERT_NE(sub, nullptr) << popup.position;
    // Every command the shell handles is in its pop-up; only Clear Attached starts grayed.
    for (int command : popup.commands) {
      const UINT was = EnableMenuItem(sub, command, MF_BYCOMMAND | MF_ENABLED);
      EXPECT_EQ(was, command == IDM_CLEAR_ATTACHMENT ? MF_GRAYED : MF_ENABLED) << command;
    }
  }
  // The shell grays and enables it through the top menu, by command.
  EXPECT_EQ(EnableMenuItem(menu, IDM_CLEAR_ATTACHMENT, MF_BYCOMMAND | MF_GRAYED), MF_ENABLED);
  EXPECT_EQ(EnableMenuItem(menu, IDM_CLEAR_ATTACHMENT, MF_BYCOMMAND | MF_ENABLED), MF_GRAYED);
  DestroyMenu(menu);
}

}  // namespace
