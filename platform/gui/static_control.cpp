// "STATIC": text, centred text, or a bitmap, with an optional sunken edge.
#include <QEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QResizeEvent>

#include "platform/gui/controls.h"
#include "platform/gui/gdi_objects.h"
#include "platform/gui/paint_dc.h"
#include "platform/gui/window_access.h"
#include "platform/gui/window_state.h"
#include "win/gui_controls.h"
#include "win/gui_gdi.h"

namespace murmel::gui {

namespace {

constexpr const char* kImageProperty = "murmel_image";
constexpr int kSmallestFittedPixels = 7;

// A text label one line high whose text is wider than the label is drawn in a smaller size
// of the same font rather than cut off: layouts are made for the handheld's narrower system
// font, and a clipped word reads as broken.
//
// Like the platform's, it paints its own background: with the brush its parent answers to
// WM_CTLCOLORSTATIC, or the light static colour when the parent leaves that to the default.
// A transparent label over dark artwork is unreadable.
class TextLabel final : public QLabel {
 public:
  TextLabel(HWND window, QWidget* parent) : QLabel(parent), window_(window) {}

  void SetLabelText(const QString& text) {
    setText(text);
    Fit();
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QLabel::resizeEvent(event);
    Fit();
  }
  void paintEvent(QPaintEvent* event) override {
    {
      QPainter painter(this);
      PaintDc dc(painter);
      const LRESULT answer =
          SendMessageW(GetParent(window_), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.handle()),
                       reinterpret_cast<LPARAM>(window_));
      const RECT whole{0, 0, width(), height()};
      auto brush = reinterpret_cast<HBRUSH>(answer);
      if (brush == nullptr || FillRect(dc.handle(), &whole, brush) == 0) {
        FillRect(dc.handle(), &whole, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      }
    }
    QLabel::paintEvent(event);
  }
  // The dialog's font often arrives after the label was made and placed.
  void changeEvent(QEvent* event) override {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange && !fitting_) Fit();
  }

 private:
  void Fit() {
    fitting_ = true;
    const QFont base = parentWidget() != nullptr ? parentWidget()->font() : QFont();
    QFont fitted = base;
    const QString plain = text();
    const bool one_line = height() < 2 * QFontMetrics(base).lineSpacing();
    int pixels = QFontInfo(base).pixelSize();
    while (one_line && pixels > kSmallestFittedPixels &&
           QFontMetrics(fitted).horizontalAdvance(plain) >= contentsRect().width()) {
      fitted.setPixelSize(--pixels);
    }
    if (fitted != font()) setFont(fitted);
    fitting_ = false;
  }

  HWND window_;
  bool fitting_ = false;
};

LRESULT StaticProc(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  auto* label = WidgetOf<QLabel>(hWnd);
  if (label == nullptr) return DefWindowProcW(hWnd, Msg, wParam, lParam);
  switch (Msg) {
    case WM_SETTEXT:
      if (auto* text_label = dynamic_cast<TextLabel*>(label)) {
        text_label->SetLabelText(TextFromParam(lParam));
      } else {
        label->setText(TextFromParam(lParam));
      }
      return TRUE;
    case WM_GETTEXT:
      return CopyTextOut(label->text(), wParam, lParam);
    case WM_GETTEXTLENGTH:
      return label->text().size();
    case STM_SETIMAGE: {
      const auto previous = label->property(kImageProperty).value<quintptr>();
      const auto image = static_cast<quintptr>(lParam);
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
  const DWORD type = record.style & SS_TYPEMASK;
  // Owned by the parent widget.
  QLabel* label = type == SS_BITMAP ? new QLabel(parent) : new TextLabel(record.handle, parent);
  if (type == SS_BITMAP) {
    label->setAlignment((record.style & SS_CENTERIMAGE) != 0 ? Qt::AlignCenter
                                                             : Qt::AlignLeft | Qt::AlignTop);
  } else {
    static_cast<TextLabel*>(label)->SetLabelText(
        TextFromParam(reinterpret_cast<LPARAM>(create.lpszName)));
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
