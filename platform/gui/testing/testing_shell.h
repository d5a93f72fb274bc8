// The test interface for the shell-side surfaces of the emulated handheld: file dialogs
// answered without a user (recording what each one asked), the desktop's browser replaced
// by a recorder, and the open pop-up menu read and chosen from. Link
// `platform_gui_testing`.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace murmel::testing {

struct FileDialogAsked {
  HWND owner;
  std::u16string title;
  std::vector<std::u16string> filter_names;
  std::vector<std::u16string> filter_patterns;
  DWORD filter_index;
  std::u16string initial_dir;
  std::u16string initial_file;  // what lpstrFile held
  DWORD flags;
  std::string folder;  // the host folder the dialog would have opened in
};

// Every later GetOpenFileNameW returns at once as if the user chose `host_path` (nothing:
// as if the user cancelled), and is recorded. The path still has to pass the dialog's own
// checks (OFN_FILEMUSTEXIST).
void AnswerFileDialogs(const std::optional<std::string>& host_path);
// Back to showing the dialog; forgets what was recorded.
void ShowFileDialogs();
std::vector<FileDialogAsked> FileDialogsAsked();

// The browser: `present` true records each address opened and reports success; false
// behaves as a desktop without a browser. Forgets what was recorded.
void ReplaceBrowser(bool present);
// Back to the desktop's browser.
void RestoreBrowser();
std::vector<std::string> OpenedAddresses();

// The pop-up menu on the screen now, or null; its rows' texts (separators are empty).
QWidget* OpenPopupMenu();
std::vector<std::u16string> PopupMenuTexts();
// Clicks the row with that text, as a user would (a grayed row does not close the menu).
// False when no open menu has such a row.
bool ClickPopupMenuItem(const char16_t* text);
// Taps the screen outside the menu, which dismisses it.
void DismissPopupMenu();

}  // namespace murmel::testing
