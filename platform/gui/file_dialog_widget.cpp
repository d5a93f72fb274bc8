// The file-open dialog on the emulated screen: the work area filled with the folder's
// files (filtered by the chosen type), a name field, and OK and Cancel.
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <filesystem>
#include <memory>

#include "platform/gui/dialog_manager.h"
#include "platform/gui/file_dialog.h"
#include "platform/gui/screen.h"
#include "platform/gui/window_state.h"

#include <commdlg.h>

namespace murmel::gui {

namespace {

QString ToQString(const std::u16string& text) { return QString::fromStdU16String(text); }

// Folders are listed first with a trailing slash, so that a tap opens them.
constexpr char16_t kFolderMark = u'/';

class FileDialogPanel : public QWidget {
 public:
  explicit FileDialogPanel(const FileDialogQuestion& question)
      : QWidget(ScreenWidget()),
        question_(question),
        folder_(QString::fromStdString(question.folder)) {
    setObjectName(QStringLiteral("file_dialog"));
    setAutoFillBackground(true);
    const RECT area = VisibleDesktop();
    setGeometry(area.left, area.top, area.right - area.left, area.bottom - area.top);

    auto* layout = new QVBoxLayout(this);  // every child is owned by the panel
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(3);
    folder_label_ = new QLabel(this);
    folder_label_->setObjectName(QStringLiteral("file_dialog_folder"));
    layout->addWidget(folder_label_);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("file_dialog_list"));
    layout->addWidget(list_, 1);
    type_ = new QComboBox(this);
    type_->setObjectName(QStringLiteral("file_dialog_type"));
    for (const FileFilter& filter : question.filters) type_->addItem(ToQString(filter.name));
    // nFilterIndex is 1-based; 0 (a custom filter we never keep) picks the first.
    const int index = static_cast<int>(question.filter_index) - 1;
    type_->setCurrentIndex(index >= 0 && index < type_->count() ? index : 0);
    layout->addWidget(type_);
    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("file_dialog_name"));
    const std::u16string& initial = question.initial_file;
    name_->setText(ToQString(initial.substr(initial.find_last_of(u"\\/") + 1)));
    layout->addWidget(name_);
    auto* buttons = new QHBoxLayout();
    layout->addLayout(buttons);
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("file_dialog_message"));
    buttons->addWidget(message_, 1);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("file_dialog_ok"));
    ok->setDefault(true);
    buttons->addWidget(ok);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("file_dialog_cancel"));
    buttons->addWidget(cancel);

    connect(type_, &QComboBox::currentIndexChanged, this, [this] { Fill(); });
    connect(list_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
      if (!item->text().endsWith(kFolderMark)) name_->setText(item->text());
    });
    connect(list_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
      if (item->text().endsWith(kFolderMark)) {
        folder_ = QDir(folder_).absoluteFilePath(item->text().chopped(1));
        folder_ = QDir::cleanPath(folder_);
        Fill();
      } else {
        name_->setText(item->text());
        Accept();
      }
    });
    connect(name_, &QLineEdit::returnPressed, this, [this] { Accept(); });
    connect(ok, &QPushButton::clicked, this, [this] { Accept(); });
    connect(cancel, &QPushButton::clicked, this, [this] { Finish(std::nullopt); });
    Fill();
  }

  bool finished() const { return finished_; }
  const FileDialogAnswer& answer() const { return answer_; }

  void Finish(FileDialogAnswer answer) {
    finished_ = true;
    answer_ = std::move(answer);
    hide();
  }

 private:
  void Fill() {
    folder_label_->setText(folder_);
    list_->clear();
    const QDir folder(folder_);
    if (!folder.isRoot()) list_->addItem(QStringLiteral("..") + kFolderMark);
    for (const QString& sub : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
      list_->addItem(sub + kFolderMark);
    const int index = type_->currentIndex();
    for (const QString& file : folder.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase)) {
      if (index < 0 || static_cast<std::size_t>(index) >= question_.filters.size() ||
          MatchesPatterns(file.toStdString(),
                          question_.filters[static_cast<std::size_t>(index)].patterns))
        list_->addItem(file);
    }
  }

  // A name is taken in the shown folder unless it is a full path already.
  void Accept() {
    const QString name = name_->text().trimmed();
    if (name.isEmpty()) return;
    const QString path = QDir::cleanPath(QDir(folder_).absoluteFilePath(name));
    std::error_code error;
    if ((question_.flags & OFN_FILEMUSTEXIST) != 0 &&
        !std::filesystem::is_regular_file(path.toStdString(), error)) {
      message_->setText(QStringLiteral("File not found."));
      return;
    }
    Finish(path.toStdString());
  }

  FileDialogQuestion question_;
  QString folder_;
  QLabel* folder_label_ = nullptr;
  QListWidget* list_ = nullptr;
  QComboBox* type_ = nullptr;
  QLineEdit* name_ = nullptr;
  QLabel* message_ = nullptr;
  bool finished_ = false;
  FileDialogAnswer answer_;
};

}  // namespace

FileDialogAnswer RunFileDialog(const FileDialogQuestion& question) {
  EnsureApplication();
  auto panel = std::make_unique<FileDialogPanel>(question);
  const HWND owner_before = ActiveTopLevel();
  SetNavigationTitle(ToQString(question.title.empty() ? u"Open" : question.title));
  panel->show();
  panel->raise();
  RaiseChrome();
  panel->findChild<QLineEdit*>(QStringLiteral("file_dialog_name"))->setFocus();
  if (!RunModalLoop([&panel] { return panel->finished(); })) panel->Finish(std::nullopt);
  // The navigation bar shows the active window's title again.
  if (owner_before != nullptr) {
    WCHAR title[260];
    GetWindowTextW(owner_before, title, 260);
    SetNavigationTitle(QString::fromUtf16(title));
  } else {
    SetNavigationTitle(QString());
  }
  return panel->answer();
}

}  // namespace murmel::gui
