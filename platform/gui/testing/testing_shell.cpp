#include "platform/gui/testing/testing_shell.h"

#include <QTest>
#include <QWidget>
#include <mutex>

#include "platform/gui/file_dialog.h"
#include "platform/gui/screen.h"
#include "platform/gui/shell_execute.h"
#include "win/error.h"

namespace murmel::testing {

namespace {

// Dialogs and the browser may be reached from any thread; the records are shared.
struct Records {
  std::mutex mutex;
  std::vector<FileDialogAsked> dialogs;
  std::vector<std::string> addresses;
};

Records& Recorded() {
  static Records records;
  return records;
}

QWidget* RowWithText(const char16_t* text) {
  QWidget* menu = OpenPopupMenu();
  if (menu == nullptr) return nullptr;
  for (QWidget* row : menu->findChildren<QWidget*>(QStringLiteral("popup_menu_item"))) {
    if (row->property("text").toString() == QString::fromUtf16(text)) return row;
  }
  return nullptr;
}

}  // namespace

void AnswerFileDialogs(const std::optional<std::string>& host_path) {
  gui::SetFileDialogAnswerer([host_path](const gui::FileDialogQuestion& question) {
    FileDialogAsked asked{question.owner,
                          question.title,
                          {},
                          {},
                          question.filter_index,
                          question.initial_dir,
                          question.initial_file,
                          question.flags,
                          question.folder};
    for (const gui::FileFilter& filter : question.filters) {
      asked.filter_names.push_back(filter.name);
      asked.filter_patterns.push_back(filter.patterns);
    }
    std::lock_guard lock(Recorded().mutex);
    Recorded().dialogs.push_back(std::move(asked));
    return host_path;
  });
}

void ShowFileDialogs() {
  gui::SetFileDialogAnswerer(nullptr);
  std::lock_guard lock(Recorded().mutex);
  Recorded().dialogs.clear();
}

std::vector<FileDialogAsked> FileDialogsAsked() {
  std::lock_guard lock(Recorded().mutex);
  return Recorded().dialogs;
}

void ReplaceBrowser(bool present) {
  {
    std::lock_guard lock(Recorded().mutex);
    Recorded().addresses.clear();
  }
  gui::SetDesktopOpener([present](const std::string& target) -> DWORD {
    if (!present) return ERROR_FILE_NOT_FOUND;
    std::lock_guard lock(Recorded().mutex);
    Recorded().addresses.push_back(target);
    return ERROR_SUCCESS;
  });
}

void RestoreBrowser() { gui::SetDesktopOpener(nullptr); }

std::vector<std::string> OpenedAddresses() {
  std::lock_guard lock(Recorded().mutex);
  return Recorded().addresses;
}

QWidget* OpenPopupMenu() {
  QWidget* layer = gui::ScreenWidget()->findChild<QWidget*>(QStringLiteral("popup_menu_layer"));
  if (layer == nullptr || !layer->isVisible()) return nullptr;
  return layer->findChild<QWidget*>(QStringLiteral("popup_menu"));
}

std::vector<std::u16string> PopupMenuTexts() {
  std::vector<std::u16string> texts;
  QWidget* menu = OpenPopupMenu();
  if (menu == nullptr) return texts;
  for (QWidget* row : menu->findChildren<QWidget*>(QStringLiteral("popup_menu_item")))
    texts.push_back(row->property("text").toString().toStdU16String());
  return texts;
}

bool ClickPopupMenuItem(const char16_t* text) {
  QWidget* row = RowWithText(text);
  if (row == nullptr) return false;
  QTest::mouseClick(row, Qt::LeftButton);
  return true;
}

void DismissPopupMenu() {
  QWidget* menu = OpenPopupMenu();
  if (menu == nullptr) return;
  QWidget* layer = menu->parentWidget();
  // The corner farthest from the menu is outside it.
  const QPoint outside = menu->geometry().center().x() < layer->width() / 2
                             ? QPoint(layer->width() - 2, layer->height() - 2)
                             : QPoint(1, layer->height() - 2);
  QTest::mouseClick(layer, Qt::LeftButton, Qt::NoModifier, outside);
}

}  // namespace murmel::testing
