// "STATIC": text, centred text, or a bitmap, with an optional sunken edge.
#include <QLabel>

#include "platform/gui/controls.h"
#include "platform/gui/gdi_objects.h"
#include "platform/gui/window_access.h"
#include "platform/gui/window_state.h"
#include "win/gui_controls.h"

namespace murmel::gui {

namespace {

constexpr const char* kImageProperty = "murmel_image";

LRESULT StaticProc(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  auto* label = WidgetOf<QLabel>(hWnd);
  if (label == nullptr) return DefWindowProcW(hWnd, Msg, wParam, lParam);
  switch (Msg) {
    case WM_SETTEXT:
      label->setText(TextFromParam(lParam));
      return TRUE;
    case WM_GETTEXT:
      return CopyTextOut(label->text(), wParam, lParam);
    case WM_GETTEXTLENGTH:
      return label->text().size();
    case STM_SETIMAGE: {
      const auto previous = label->property(kImageProperty).value<quintptr>();
      const auto image = static_cast<quintptr>(lParam);
      // NOLINTNEXTLINE(performance-no-int-to-ptr): handles and message parameters are numbers
      const QImage* picture = ImageOf(reinterpret_cast<HGDIOBJ>(image));
      label->setProperty(kImageProperty,
                         QVariant::fromValue(picture != nullptr ? image : quintptr{0}));
      label->setPixmap(picture != nullptr ? QPixmap::fromImage(*picture) : QPixmap());
      return static_cast<LRESULT>(previous);
    }
    case STM_GETIMAGE:
      return static_cast<LRESULT>(label->property(kImageProperty).value<quintptr>());
    default:
      return DefWindowProcW(hWnd, Msg, wParam, lParam);
  }
}

QWidget* MakeStatic(WindowRecord& record, const CREATESTRUCTW& create, QWidget* parent) {
  auto* label = new QLabel(parent);  // owned by the parent widget
  const DWORD type = record.style & SS_TYPEMASK;
  if (type == SS_BITMAP) {
    label->setAlignment((record.style & SS_CENTERIMAGE) != 0 ? Qt::AlignCenter
                                                             : Qt::AlignLeft | Qt::AlignTop);
  } else {
    label->setText(TextFromParam(reinterpret_cast<LPARAM>(create.lpszName)));
    label->setAlignment(type == SS_CENTER ? Qt::AlignHCenter | Qt::AlignVCenter
                                          : Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
  }
  if (HasEdge(record) || (record.style & SS_SUNKEN) != 0) {
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setLineWidth(1);
  }
  return label;
}

}  // namespace

WindowClass StaticClass() { return WindowClass{u"STATIC", 0, StaticProc, nullptr, MakeStatic}; }

}  // namespace murmel::gui
