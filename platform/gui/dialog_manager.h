// The dialog manager: dialog windows, their modal loops and keys. User-interface thread.
#pragma once

#include <QRect>
#include <functional>
#include <optional>

#include "platform/gui/dialog_font.h"
#include "platform/gui/dialog_template.h"
#include "win/gui_dialog.h"

namespace murmel::gui {

struct DialogState {
  DLGPROC proc = nullptr;
  BaseUnits units{};
  HWND owner = nullptr;
  int default_id = 0;
  bool ended = false;
  INT_PTR result = 0;
};

// The state of a live dialog, or null.
DialogState* FindDialog(HWND window);

// Creates the dialog and its items, sends WM_INITDIALOG, runs the modal loop until
// EndDialog and destroys the dialog. `pixels` places it in screen pixels instead of the
// template's dialog units. -1 when it cannot be created.
INT_PTR RunDialog(const DialogTemplate& dialog, HINSTANCE instance, HWND owner, DLGPROC proc,
                  LPARAM init_param, std::optional<QRect> pixels = std::nullopt);

// Dispatches posted messages and Qt's events until `finished` says so. False when WM_QUIT
// arrived: it is posted again for the loop outside.
bool RunModalLoop(const std::function<bool()>& finished);

// The modal windows open now, innermost last: input to other windows is refused.
void PushModal(HWND window);
void PopModal(HWND window);
HWND InnermostModal();

// The dialog manager's keys (Enter, Escape, Tab) for the dialog that holds the focus.
void InstallDialogKeys();

// Moves the default push button look to the button with `id` (none when no control has it).
void ShowDefaultButton(HWND dialog, int id);

}  // namespace murmel::gui
