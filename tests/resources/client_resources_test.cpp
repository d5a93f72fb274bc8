// One registration call gives the client everything it loads by id, including the menu
// and the dialog templates that other parts of the program contribute.
#include <gtest/gtest.h>
#include <windows.h>

#include "bitmap_cases.h"
#include "resources/client_resources.h"
#include "resources/resource_ids.h"

namespace {

using resources_test::ResourceName;

TEST(ClientResources, OneRegistrationProvidesMenuAndDialogTemplates) {
  // Registering twice must not matter: start-up and tests may both ask for it.
  RegisterClientResources();
  RegisterClientResources();

  const HMENU menu = LoadMenuW(nullptr, ResourceName(IDR_MAIN_MENU));
  ASSERT_NE(menu, nullptr);
  EXPECT_NE(GetSubMenu(menu, MENU_POS_OPTION), nullptr);
  EXPECT_NE(GetSubMenu(menu, MENU_POS_HELP), nullptr);
  DestroyMenu(menu);

  const LPCWSTR dialog_type = RT_DIALOG;
  for (int id : {IDD_ABOUT, IDD_USER_PROFILE, IDD_ADDRESS_BOOK}) {
    EXPECT_NE(FindResourceW(nullptr, ResourceName(id), dialog_type), nullptr) << "dialog " << id;
  }
}

}  // namespace
