// GetOpenFileNameW: the caller's structure in, the chosen path out, and the hook that lets
// tests answer instead of a user.
#include "platform/gui/file_dialog.h"

#include <QRegularExpression>
#include <QString>
#include <filesystem>
#include <mutex>

#include "platform/kernel/device_path.h"
#include "win/error.h"
#include "win/text.h"

// commdlg.h includes windows.h; it is the public face of this file.
#include <commdlg.h>

namespace murmel::gui {

namespace {

struct AnswererSlot {
  std::mutex mutex;
  FileDialogAnswerer answerer;
};

AnswererSlot& Slot() {
  static AnswererSlot slot;
  return slot;
}

thread_local DWORD last_dialog_error = 0;

std::u16string TextOrEmpty(const WCHAR* text) { return text == nullptr ? u"" : text; }

// Where the dialog opens: the folder of a path already in the name field, as the platform
// does, else the initial folder (mapped from the device), else the documents folder.
std::string StartFolder(const std::u16string& initial_file, const std::u16string& initial_dir) {
  std::error_code error;
  if (!initial_file.empty()) {
    const std::filesystem::path given(kernel::HostPathFor(initial_file));
    if (given.has_parent_path() && std::filesystem::is_directory(given.parent_path(), error))
      return given.parent_path().string();
  }
  if (!initial_dir.empty()) {
    std::string folder = kernel::HostPathFor(initial_dir);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();  // "\My Documents\"
    if (std::filesystem::is_directory(folder, error)) return folder;
  }
  return kernel::DocumentsFolder();
}

// Writes the chosen path into the caller's fields; false when lpstrFile cannot hold it.
bool WriteAnswer(OPENFILENAMEW& ofn, const std::string& path) {
  const std::u16string wide = QString::fromStdString(path).toStdU16String();
  if (wide.size() + 1 > ofn.nMaxFile) {
    // The platform reports the size it needs in the buffer's first character.
    if (ofn.nMaxFile >= 1) ofn.lpstrFile[0] = static_cast<WCHAR>(wide.size() + 1);
    last_dialog_error = FNERR_BUFFERTOOSMALL;
    return false;
  }
  const std::size_t slash = wide.find_last_of(u'/');
  const std::size_t name_at = slash == std::u16string::npos ? 0 : slash + 1;
  const std::size_t dot = wide.find_last_of(u'.');
  lstrcpynW(ofn.lpstrFile, wide.c_str(), static_cast<int>(ofn.nMaxFile));
  ofn.nFileOffset = static_cast<WORD>(name_at);
  ofn.nFileExtension =
      dot == std::u16string::npos || dot < name_at ? 0 : static_cast<WORD>(dot + 1);
  if (ofn.lpstrFileTitle != nullptr && ofn.nMaxFileTitle > 0) {
    lstrcpynW(ofn.lpstrFileTitle, wide.c_str() + name_at, static_cast<int>(ofn.nMaxFileTitle));
  }
  return true;
}

}  // namespace

std::vector<FileFilter> ParseFilters(const WCHAR* filter) {
  std::vector<FileFilter> filters;
  if (filter == nullptr) return filters;
  while (*filter != 0) {
    FileFilter entry;
    entry.name = filter;
    filter += entry.name.size() + 1;
    if (*filter == 0) break;  // a name without patterns ends the list
    entry.patterns = filter;
    filter += entry.patterns.size() + 1;
    filters.push_back(std::move(entry));
  }
  return filters;
}

bool MatchesPatterns(const std::string& file_name, const std::u16string& patterns) {
  const QString name = QString::fromStdString(file_name);
  for (const QString& pattern :
       QString::fromStdU16String(patterns).split(u';', Qt::SkipEmptyParts)) {
    // The device's file system ignores case, so its patterns do too.
    const QRegularExpression expression(
        QRegularExpression::wildcardToRegularExpression(pattern.trimmed()),
        QRegularExpression::CaseInsensitiveOption);
    if (expression.match(name).hasMatch()) return true;
  }
  return false;
}

void SetFileDialogAnswerer(FileDialogAnswerer answerer) {
  std::lock_guard lock(Slot().mutex);
  Slot().answerer = std::move(answerer);
}

namespace {

FileDialogAnswerer CurrentAnswerer() {
  std::lock_guard lock(Slot().mutex);
  return Slot().answerer;
}

}  // namespace

}  // namespace murmel::gui

BOOL GetOpenFileNameW(LPOPENFILENAMEW lpofn) {
  using murmel::gui::last_dialog_error;
  last_dialog_error = 0;
  if (lpofn == nullptr || lpofn->lStructSize != sizeof(OPENFILENAMEW)) {
    last_dialog_error = CDERR_STRUCTSIZE;
    return FALSE;
  }
  if (lpofn->lpstrFile == nullptr || lpofn->nMaxFile == 0) {
    last_dialog_error = FNERR_INVALIDFILENAME;
    return FALSE;
  }
  murmel::gui::FileDialogQuestion question;
  question.owner = lpofn->hwndOwner;
  question.title = murmel::gui::TextOrEmpty(lpofn->lpstrTitle);
  question.filters = murmel::gui::ParseFilters(lpofn->lpstrFilter);
  question.filter_index = lpofn->nFilterIndex;
  question.initial_dir = murmel::gui::TextOrEmpty(lpofn->lpstrInitialDir);
  question.initial_file = lpofn->lpstrFile;
  question.flags = lpofn->Flags;
  question.folder = murmel::gui::StartFolder(question.initial_file, question.initial_dir);

  const murmel::gui::FileDialogAnswerer answerer = murmel::gui::CurrentAnswerer();
  const murmel::gui::FileDialogAnswer answer =
      answerer ? answerer(question) : murmel::gui::RunFileDialog(question);
  if (!answer) return FALSE;
  std::error_code error;
  if ((lpofn->Flags & OFN_FILEMUSTEXIST) != 0 && !std::filesystem::is_regular_file(*answer, error))
    return FALSE;
  return murmel::gui::WriteAnswer(*lpofn, *answer) ? TRUE : FALSE;
}

DWORD CommDlgExtendedError() { return murmel::gui::last_dialog_error; }
