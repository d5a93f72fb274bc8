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
