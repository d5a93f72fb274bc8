#include <QEvent>
#include <QObject>

#include "platform/gui/controls.h"
#include "platform/gui/window_access.h"
#include "platform/gui/window_state.h"

namespace murmel::gui {

namespace {

class FocusNotifier : public QObject {
 public:
  FocusNotifier(QObject* parent, HWND control, WORD set_code, WORD kill_code)
      : QObject(parent), control_(control), set_code_(set_code), kill_code_(kill_code) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::FocusIn) NotifyParent(control_, set_code_);
    if (event->type() == QEvent::FocusOut) NotifyParent(control_, kill_code_);
    return QObject::eventFilter(watched, event);
  }

 private:
  HWND control_;
  WORD set_code_;
  WORD kill_code_;
};

}  // namespace

void NotifyFocus(QWidget* widget, HWND control, WORD set_code, WORD kill_code) {
  widget->installEventFilter(new FocusNotifier(widget, control, set_code, kill_code));
}

int FindListItem(const QStringList& items, int start_after, const QString& text, bool exact) {
  const int count = static_cast<int>(items.size());
  if (count == 0) return -1;
  if (start_after < -1 || start_after >= count) start_after = -1;
  for (int step = 1; step <= count; ++step) {
    const int index = (start_after + step) % count;
    const QString& item = items.at(index);
    const bool match = exact ? item.compare(text, Qt::CaseInsensitive) == 0
                             : item.startsWith(text, Qt::CaseInsensitive);
    if (match) return index;
  }
  return -1;
}

int SortedInsertIndex(const QStringList& items, const QString& text) {
  int index = 0;
  while (index < items.size() && items.at(index).compare(text, Qt::CaseInsensitive) <= 0) ++index;
  return index;
}

bool HasEdge(const WindowRecord& record) {
  return (record.style & WS_BORDER) != 0 ||
         (record.ex_style & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE)) != 0;
}

void RegisterBuiltInClasses() {
  static const bool registered = [] {
    for (WindowClass (*make)() :
         {StaticClass, EditClass, ButtonClass, ProgressClass, ComboBoxClass, ListBoxClass}) {
      AddClass(make());
    }
    return true;
  }();
  (void)registered;
}

}  // namespace murmel::gui
