#include "platform/gui/testing/testing.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>
#include <QTimer>
#include <mutex>

#include "platform/gui/message_box.h"
#include "platform/gui/screen.h"
#include "platform/gui/window_table.h"

namespace murmel::testing {

namespace {

// Keys go to the inner edit field of an editable combo box.
QWidget* KeyTarget(HWND window) {
  QWidget* widget = WidgetOf(window);
  if (auto* combo = qobject_cast<QComboBox*>(widget); combo != nullptr && combo->isEditable()) {
    return combo->lineEdit();
  }
  return widget;
}

}  // namespace

QWidget* WidgetOf(HWND window) {
  gui::WindowRecord* record = gui::FindWindow(window);
  return record == nullptr ? nullptr : record->widget.data();
}

QWidget* Screen() { return gui::ScreenWidget(); }

QWidget* ScreenPart(const char* name) {
  return Screen()->findChild<QWidget*>(QString::fromUtf8(name));
}

void Click(QWidget* widget) {
  if (widget != nullptr) QTest::mouseClick(widget, Qt::LeftButton);
}

void Click(HWND window) { Click(WidgetOf(window)); }

void Press(HWND window) {
  if (QWidget* widget = WidgetOf(window)) QTest::mousePress(widget, Qt::LeftButton);
}

void Release(HWND window) {
  if (QWidget* widget = WidgetOf(window)) QTest::mouseRelease(widget, Qt::LeftButton);
}

void Type(HWND window, const char16_t* text) {
  QWidget* target = KeyTarget(window);
  if (target == nullptr || text == nullptr) return;
  QTest::keyClicks(target, QString::fromUtf16(text));
}

void Key(HWND window, int qt_key) {
  if (QWidget* target = KeyTarget(window)) QTest::keyClick(target, static_cast<Qt::Key>(qt_key));
}

void ProcessEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

bool SaveScreen(const char* png_path) {
  ProcessEvents();
  return Screen()->grab().save(QString::fromUtf8(png_path), "PNG");
}

}  // namespace murmel::testing

namespace murmel::testing {

namespace {

struct MessageBoxLog {
  std::mutex mutex;
  std::vector<ShownMessageBox> shown;
  int answer = 0;
};

MessageBoxLog& Boxes() {
  static MessageBoxLog log;
  return log;
}

// Clicked from inside the box's own modal loop, as a user would; a box opened over it
// (another thread's) is answered first.
void ClickWhenOnTop(HWND box, int answer) {
  QTimer::singleShot(0, [box, answer] {
    if (!IsWindow(box)) return;
    if (GetActiveWindow() != box) {
      ClickWhenOnTop(box, answer);
      return;
    }
    Click(gui::MessageBoxButton(box, answer));
  });
}

// Watches every box from the first use of the message-box calls on.
void WatchMessageBoxes() {
  static const bool watching = [] {
    gui::SetMessageBoxObserver([](const gui::MessageBoxShown& box) {
      int answer = 0;
      {
        std::lock_guard lock(Boxes().mutex);
        Boxes().shown.push_back(
            ShownMessageBox{box.box, box.owner, box.text, box.caption, box.style});
        answer = Boxes().answer;
      }
      if (answer == 0) return;
      ClickWhenOnTop(box.box, answer);
    });
    return true;
  }();
  static_cast<void>(watching);
}

}  // namespace

void AnswerMessageBoxes(int answer) {
  WatchMessageBoxes();
  std::lock_guard lock(Boxes().mutex);
  Boxes().answer = answer;
}

std::vector<ShownMessageBox> MessageBoxesShown() {
  WatchMessageBoxes();
  std::lock_guard lock(Boxes().mutex);
  return Boxes().shown;
}

void ForgetMessageBoxesShown() {
  WatchMessageBoxes();
  std::lock_guard lock(Boxes().mutex);
  Boxes().shown.clear();
}

HWND MessageBoxButton(int answer) {
  // The box on the screen is the active window.
  const HWND box = GetActiveWindow();
  return IsWindow(box) ? gui::MessageBoxButton(box, answer) : nullptr;
}

}  // namespace murmel::testing
