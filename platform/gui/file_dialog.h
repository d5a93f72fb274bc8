// The file-open dialog's question and its answer, and the hook through which tests answer
// it instead of a user.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "win/types.h"

namespace murmel::gui {

struct FileFilter {
  std::u16string name;      // "Picture Files (*.gif;*.jpg;*.jpeg)"
  std::u16string patterns;  // "*.gif;*.jpg;*.jpeg"
};

struct FileDialogQuestion {
  HWND owner = nullptr;
  std::u16string title;
  std::vector<FileFilter> filters;
  DWORD filter_index = 0;      // as the caller gave it
  std::u16string initial_dir;  // as the caller gave it (a device or host path)
  std::u16string initial_file;
  DWORD flags = 0;
  std::string folder;  // the host folder the dialog opens in
};

// The filters of lpstrFilter: NUL-separated name and pattern texts, ended by an empty one.
std::vector<FileFilter> ParseFilters(const WCHAR* filter);

// True when the host file name matches one of "*.gif;*.jpg" (case-insensitively).
bool MatchesPatterns(const std::string& file_name, const std::u16string& patterns);

// A chosen full host path, or nothing for cancel.
using FileDialogAnswer = std::optional<std::string>;
using FileDialogAnswerer = std::function<FileDialogAnswer(const FileDialogQuestion&)>;

// Replaces the user (empty: the dialog is shown again).
void SetFileDialogAnswerer(FileDialogAnswerer answerer);

// Shows the dialog on the emulated screen until OK or cancel.
FileDialogAnswer RunFileDialog(const FileDialogQuestion& question);

}  // namespace murmel::gui
