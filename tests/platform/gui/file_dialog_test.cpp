// The file-open dialog: what it writes back, cancel, and the dialog itself.
#include <commdlg.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "gui_test_support.h"
#include "platform/gui/testing/testing_shell.h"
#include "support/scoped_env.h"

namespace gui_test {
namespace {

namespace ui = murmel::testing;

// As the client asks for an attachment: two filters, the pictures second.
constexpr WCHAR kFilters[] =
    u"All Files (*.*)\0*.*\0Picture Files (*.gif;*.jpg;*.jpeg)\0*.gif;*.jpg;*.jpeg\0";

void Touch(const std::string& path) { std::ofstream(path) << "x"; }

std::u16string Wide(const std::string& text) {
  return std::u16string(text.begin(), text.end());  // the test paths are ASCII
}

// The shown dialog's parts, driven as a user would.
template <typename Widget>
Widget* Part(const char* name) {
  return ui::Screen()->findChild<Widget*>(QString::fromUtf8(name));
}

std::vector<std::string> Listed() {
  std::vector<std::string> names;
  auto* list = Part<QListWidget>("file_dialog_list");
  names.reserve(static_cast<std::size_t>(list->count()));
  for (int i = 0; i < list->count(); ++i) names.push_back(list->item(i)->text().toStdString());
  return names;
}

class FileDialogTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    std::filesystem::create_directories(folder_);
    std::fill(std::begin(file_), std::end(file_), u'#');  // shows what a call wrote
    wcsncpy(file_, u"previous.txt", 260);
    ofn_.lStructSize = sizeof ofn_;
    ofn_.hwndOwner = top_;
    ofn_.lpstrFilter = kFilters;
    ofn_.nFilterIndex = 1;
    ofn_.lpstrFile = file_;
    ofn_.nMaxFile = 260;
    ofn_.lpstrInitialDir = u"\\My Documents\\";
    ofn_.Flags = OFN_FILEMUSTEXIST;
    ofn_.nFileOffset = 77;
  }
  void TearDown() override {
    ui::ShowFileDialogs();
    GuiTest::TearDown();
  }

  murmel::test::TempDir home_;
  murmel::test::ScopedEnv home_env_{"HOME", home_.path()};
  const std::string folder_ = home_ / "Documents";
  WCHAR file_[300];
  OPENFILENAMEW ofn_{};
};

// Only the name's offset is read back: it gives an attachment its name.
TEST_F(FileDialogTest, ChosenPathIsWrittenWithTheOffsetOfItsName) {
  std::filesystem::create_directories(folder_ + "/trip.2024");
  for (const auto& [name, name_at] : {std::pair{"photo.jpeg", 1}, {"trip.2024/notes", 11}}) {
    const std::string path = folder_ + "/" + name;
    SCOPED_TRACE(path);
    Touch(path);
    ui::AnswerFileDialogs(path);
    ASSERT_TRUE(GetOpenFileNameW(&ofn_));
    EXPECT_EQ(std::u16string(file_), Wide(path));
    EXPECT_EQ(ofn_.nFileOffset, folder_.size() + name_at);
  }
}

// Cancel, or a missing file that must exist: nothing written, and no error either.
TEST_F(FileDialogTest, CancelAndRefusalsLeaveTheCallersFieldsAlone) {
  WCHAR before[300];
  std::copy(std::begin(file_), std::end(file_), before);
  for (const auto& answer : {std::optional<std::string>(), std::optional(folder_ + "/x.gif")}) {
    ui::AnswerFileDialogs(answer);
    EXPECT_FALSE(GetOpenFileNameW(&ofn_));
    EXPECT_EQ(CommDlgExtendedError(), 0u);
    EXPECT_TRUE(std::equal(std::begin(file_), std::end(file_), before));
    EXPECT_EQ(ofn_.nFileOffset, 77);
  }
  // Without OFN_FILEMUSTEXIST a new name is a choice like any other.
  ofn_.Flags = 0;
  EXPECT_TRUE(GetOpenFileNameW(&ofn_));
}

TEST_F(FileDialogTest, TooSmallBufferReportsTheSizeItNeeds) {
  const std::string path = folder_ + "/a.gif";
  Touch(path);
  ui::AnswerFileDialogs(path);
  ofn_.nMaxFile = static_cast<DWORD>(path.size());  // one short: no room for the NUL
  EXPECT_FALSE(GetOpenFileNameW(&ofn_));
  EXPECT_EQ(CommDlgExtendedError(), DWORD{FNERR_BUFFERTOOSMALL});
  EXPECT_EQ(file_[0], static_cast<WCHAR>(path.size() + 1));
  ofn_.nMaxFile = static_cast<DWORD>(path.size() + 1);
  EXPECT_TRUE(GetOpenFileNameW(&ofn_));
  EXPECT_EQ(std::u16string(file_), Wide(path));
}

TEST_F(FileDialogTest, ListsTheFolderThroughTheChosenFilterAndTakesATypedName) {
  for (const char* name : {"a.gif", "B.JPG", "c.txt", "d.jpeg"}) Touch(folder_ + "/" + name);
  std::filesystem::create_directories(folder_ + "/album");
  ofn_.nFilterIndex = 2;
  QTimer::singleShot(0, [] {  // choosing B.JPG is what ends the dialog
    EXPECT_EQ(Listed(), (std::vector<std::string>{"../", "album/", "a.gif", "B.JPG", "d.jpeg"}));
    EXPECT_EQ(Part<QLineEdit>("file_dialog_name")->text(), QStringLiteral("previous.txt"));
    Part<QComboBox>("file_dialog_type")->setCurrentIndex(0);
    EXPECT_EQ(Listed(),
              (std::vector<std::string>{"../", "album/", "a.gif", "B.JPG", "c.txt", "d.jpeg"}));
    Part<QLineEdit>("file_dialog_name")->setText(QStringLiteral("B.JPG"));
    ui::Click(Part<QPushButton>("file_dialog_ok"));
  });
  ASSERT_TRUE(GetOpenFileNameW(&ofn_));
  EXPECT_EQ(std::u16string(file_), Wide(folder_ + "/B.JPG"));
  EXPECT_EQ(ui::ScreenPart("file_dialog"), nullptr);  // gone with its answer
}

// A full path in the name field opens its folder; a missing name keeps the dialog open, and
// cancel then writes nothing.
TEST_F(FileDialogTest, ShownDialogOpensTheGivenPathsFolderAndRefusesMissingNames) {
  const std::string folder = home_ / "elsewhere";
  std::filesystem::create_directories(folder);
  Touch(folder + "/old.gif");
  wcsncpy(file_, Wide(folder + "/old.gif").c_str(), 260);
  for (const bool cancel : {true, false}) {
    QTimer::singleShot(0, [cancel] {
      EXPECT_EQ(Listed(), (std::vector<std::string>{"../", "old.gif"}));
      if (cancel) {
        Part<QLineEdit>("file_dialog_name")->setText(QStringLiteral("nowhere.gif"));
        ui::Click(Part<QPushButton>("file_dialog_ok"));
        EXPECT_TRUE(Part<QWidget>("file_dialog")->isVisible());
      }
      ui::Click(Part<QPushButton>(cancel ? "file_dialog_cancel" : "file_dialog_ok"));
    });
    EXPECT_EQ(GetOpenFileNameW(&ofn_), !cancel);
    EXPECT_EQ(std::u16string(file_), Wide(folder + "/old.gif"));
  }
  EXPECT_EQ(CommDlgExtendedError(), 0u);
}

}  // namespace
}  // namespace gui_test
