#include "platform/testing.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>

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
