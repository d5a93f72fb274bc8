// "button": push, default push, owner-drawn (the parent draws it on WM_DRAWITEM) and the
// automatic radio button.
#include <QAbstractButton>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>

#include "platform/gui/controls.h"
#include "platform/gui/paint_dc.h"
#include "platform/gui/window_access.h"
#include "platform/gui/window_state.h"
#include "win/gui_controls.h"

namespace murmel::gui {

namespace {

class OwnerDrawButton : public QAbstractButton {
 public:
  OwnerDrawButton(HWND window, QWidget* parent) : QAbstractButton(parent), window_(window) {}

 protected:
  void paintEvent(QPaintEvent* /*event*/) override {
    const UINT state = (isDown() ? ODS_SELECTED : 0U) | (isEnabled() ? 0U : ODS_DISABLED) |
                       (hasFocus() ? ODS_FOCUS : 0U);
    // What changed since the last drawing tells the parent which action this is.
    UINT action = ODA_DRAWENTIRE;
    if (drawn_ && ((state ^ last_state_) & ODS_SELECTED) != 0)
      action = ODA_SELECT;
    else if (drawn_ && ((state ^ last_state_) & ODS_FOCUS) != 0)
      action = ODA_FOCUS;
    drawn_ = true;
    last_state_ = state;

    QPainter painter(this);
    PaintDc dc(painter);
    WindowRecord* record = FindWindow(window_);
    if (record == nullptr || record->parent == nullptr) return;
    DRAWITEMSTRUCT item{ODT_BUTTON,  static_cast<UINT>(record->id), 0, action, state, window_,
                        dc.handle(), RECT{0, 0, width(), height()}, 0};
    SendMessageW(record->parent, WM_DRAWITEM, static_cast<WPARAM>(record->id),
                 reinterpret_cast<LPARAM>(&item));
  }

 private:
  HWND window_;
  bool drawn_ = false;
  UINT last_state_ = 0;
};

// The whole control answers the pen, not only the circle and its label.
class RadioButton : public QRadioButton {
 public:
  using QRadioButton::QRadioButton;

 protected:
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

LRESULT ButtonProc(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  auto* button = WidgetOf<QAbstractButton>(hWnd);
  if (button == nullptr) return DefWindowProcW(hWnd, Msg, wParam, lParam);
  switch (Msg) {
    case WM_SETTEXT:
      button->setText(TextFromParam(lParam));
      return TRUE;
    case WM_GETTEXT:
      return CopyTextOut(button->text(), wParam, lParam);
    case WM_GETTEXTLENGTH:
      return button->text().size();
    case BM_GETCHECK:
      return button->isCheckable() && button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
    case BM_SETCHECK:
      if (button->isCheckable()) button->setChecked(wParam == BST_CHECKED);
      return 0;
    default:
      return DefWindowProcW(hWnd, Msg, wParam, lParam);
  }
}

QWidget* MakeButton(WindowRecord& record, const CREATESTRUCTW& create, QWidget* parent) {
  const HWND handle = record.handle;
  const QString text = TextFromParam(reinterpret_cast<LPARAM>(create.lpszName));
  QAbstractButton* button = nullptr;
  switch (record.style & BS_TYPEMASK) {
    case BS_OWNERDRAW:
      button = new OwnerDrawButton(handle, parent);  // owned by the parent widget
      break;
    case BS_AUTORADIOBUTTON:
      button = new RadioButton(parent);
      break;
    default: {
      auto* push = new QPushButton(parent);
      push->setAutoDefault(false);
      push->setDefault((record.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
      button = push;
      break;
    }
  }
  button->setText(text);
  QObject::connect(button, &QAbstractButton::clicked, button,
                   [handle] { NotifyParent(handle, BN_CLICKED); });
  return button;
}

}  // namespace

WindowClass ButtonClass() { return WindowClass{u"button", 0, ButtonProc, nullptr, MakeButton}; }

}  // namespace murmel::gui
