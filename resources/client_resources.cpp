#include "resources/client_resources.h"

#include <mutex>

#include "resources/bitmap_table.h"
#include "resources/dialogs.h"
#include "resources/menu.h"
#include "resources/string_table.h"

void RegisterClientResources() {
  // The platform keeps every entry it is given: a second registration would only repeat them.
  static std::once_flag registered;
  std::call_once(registered, [] {
    RegisterStringResources();
    RegisterBitmapResources();
    RegisterMenuResources();
    RegisterDialogResources();
  });
}
