// The dialog manager's keyboard and the refusal of input to windows behind a modal one.
#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <vector>

#include "platform/gui/dialog_manager.h"
#include "platform/gui/screen.h"
#include "platform/gui/window_access.h"
#include "platform/gui/window_state.h"
#include "platform/gui/window_table.h"
#include "win/gui_controls.h"
#include "win/gui_dialog.h"

namespace murmel::gui {

namespace {

HWND TopLevelOfWindow(HWND window) {
  const WindowRecord* record = FindWindow(window);
  while (record != nullptr && (record->style & WS_CHILD) != 0) record = FindWindow(record->parent);
  return record == nullptr ? nullptr : record->handle;
}

// The control of `dialog` that holds `window` (the window itself or an ancestor below it).
HWND ControlOf(HWND dialog, HWND window) {
  const WindowRecord* record = FindWindow(window);
  while (record != nullptr && record->parent != dialog) {
    if ((record->style & WS_CHILD) == 0) return nullptr;
    record = FindWindow(record->parent);
  }
  return record == nullptr ? nullptr : record->handle;
}

bool IsClass(HWND window, const char16_t* name) {
  const WindowRecord* record = FindWindow(window);
  return record != nullptr && record->window_class != nullptr && record->window_class->name == name;
}

bool IsPushButtonWindow(HWND window) {
  const WindowRecord* record = FindWindow(window);
  const DWORD type = record == nullptr ? 0 : record->style & BS_TYPEMASK;
  return IsClass(window, u"button") && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON);
}

bool WantsReturn(HWND control) {
  const WindowRecord* record = FindWindow(control);
  return IsClass(control, u"EDIT") && (record->style & ES_MULTILINE) != 0 &&
         (record->style & ES_WANTRETURN) != 0;
}

// As the platform's dialog manager: a focused push button is the one Enter presses; else
// the default id (sent even when no control bears it); else IDOK.
void PressEnter(HWND dialog, HWND focus) {
  if (focus != nullptr && IsPushButtonWindow(focus)) {
    SendMessageW(dialog, WM_COMMAND, MAKELONG(GetDlgCtrlID(focus), BN_CLICKED),
                 reinterpret_cast<LPARAM>(focus));
    return;
  }
  const LRESULT default_id = SendMessageW(dialog, DM_GETDEFID, 0, 0);
  if (HIWORD(default_id) == DC_HASDEFID) {
    HWND button = nullptr;
    for (HWND child : ChildrenOf(dialog)) {
      if (FindWindow(child)->id == LOWORD(default_id)) button = child;
    }
    if (button == nullptr || IsWindowEnabled(button)) {
      SendMessageW(dialog, WM_COMMAND, MAKELONG(LOWORD(default_id), BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
    }
    return;
  }
  HWND ok = nullptr;
  for (HWND child : ChildrenOf(dialog)) {
    if (FindWindow(child)->id == IDOK) ok = child;
  }
  SendMessageW(dialog, WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(ok));
}

void MoveFocus(HWND dialog, HWND focus, bool backwards) {
  const HWND next = GetNextDlgTabItem(dialog, focus, backwards ? TRUE : FALSE);
  if (next == nullptr) return;
  SetFocus(next);
  if (IsClass(next, u"EDIT")) SendMessageW(next, EM_SETSEL, 0, -1);
}

// True when the key was the dialog manager's.
bool HandleDialogKey(HWND dialog, HWND focus, int key, Qt::KeyboardModifiers modifiers) {
  switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (focus != nullptr && WantsReturn(focus)) return false;
      PressEnter(dialog, focus);
      return true;
    case Qt::Key_Escape:
      SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      return true;
    case Qt::Key_Tab:
      MoveFocus(dialog, focus, (modifiers & Qt::ShiftModifier) != 0);
      return true;
    case Qt::Key_Backtab:
      MoveFocus(dialog, focus, true);
      return true;
    default:
      return false;
  }
}

// The window whose widget holds `widget` directly under the screen, or null for the
// screen's own parts (bars, input panel) and for Qt's pop-ups.
HWND ScreenWindowOf(const QWidget* widget) {
  const QWidget* screen = ScreenWidget();
  while (widget != nullptr && widget->parentWidget() != screen) widget = widget->parentWidget();
  return widget == nullptr ? nullptr : WindowOfWidget(widget);
}

class DialogInputFilter : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    const bool key = type == QEvent::KeyPress || type == QEvent::KeyRelease;
    const bool mouse = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
                       type == QEvent::MouseButtonDblClick;
    if ((!key && !mouse) || !watched->isWidgetType()) return false;
    const auto* widget = static_cast<const QWidget*>(watched);
    // Behind a modal window nothing answers the pen or the keys.
    const HWND modal = InnermostModal();
    const HWND target = ScreenWindowOf(widget);
    if (modal != nullptr && target != nullptr && target != modal) return true;
    if (type != QEvent::KeyPress) return false;
    const HWND window = WindowOfWidget(widget);
    const HWND dialog = TopLevelOfWindow(window);
    if (dialog == nullptr || FindDialog(dialog) == nullptr) return false;
    const auto* key_event = static_cast<const QKeyEvent*>(event);
    return HandleDialogKey(dialog, ControlOf(dialog, window), key_event->key(),
                           key_event->modifiers());
  }
};

}  // namespace

void InstallDialogKeys() {
  static DialogInputFilter* filter = [] {
    auto* installed = new DialogInputFilter;  // lives as long as the application
    installed->setParent(QApplication::instance());
    QApplication::instance()->installEventFilter(installed);
    return installed;
  }();
  static_cast<void>(filter);
}

}  // namespace murmel::gui

using murmel::gui::FindWindow;
using murmel::gui::WindowRecord;

HWND GetNextDlgTabItem(HWND hDlg, HWND hCtl, BOOL bPrevious) {
  if (murmel::gui::LiveWindow(hDlg) == nullptr) return nullptr;
  std::vector<HWND> stops;
  std::size_t current = 0;
  bool found = false;
  for (HWND child : murmel::gui::ChildrenOf(hDlg)) {
    const WindowRecord* record = FindWindow(child);
    if (child == hCtl) {
      current = stops.size();
      found = true;
    }
    const bool usable = (record->style & WS_TABSTOP) != 0 && (record->style & WS_VISIBLE) != 0 &&
                        (record->style & WS_DISABLED) == 0;
    if (usable) stops.push_back(child);
  }
  if (stops.empty()) return nullptr;
  if (!found) return bPrevious ? stops.back() : stops.front();
  // `current` is where hCtl stands among the stops (on it when it is one).
  const bool on_stop = current < stops.size() && stops[current] == hCtl;
  if (bPrevious) return stops[(current + stops.size() - 1) % stops.size()];
  return stops[(current + (on_stop ? 1 : 0)) % stops.size()];
}
