#include "platform/gui/window_access.h"

#include "win/error.h"

namespace murmel::gui {

WindowRecord* LiveWindow(HWND window) {
  WindowRecord* record = FindWindow(window);
  if (record == nullptr || message::WindowOwnerQueue(window) == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  return record;
}

void NotifyParent(HWND control, WORD code) {
  WindowRecord* record = FindWindow(control);
  if (record == nullptr || record->parent == nullptr) return;
  SendMessageW(record->parent, WM_COMMAND, static_cast<WPARAM>(MAKELONG(record->id, code)),
               reinterpret_cast<LPARAM>(control));
}

}  // namespace murmel::gui
