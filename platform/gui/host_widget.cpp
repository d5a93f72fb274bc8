#include "platform/gui/host_widget.h"

#include <QCloseEvent>
#include <QPainter>

#include "platform/gui/paint_dc.h"

namespace murmel::gui {

HostWidget::HostWidget(HWND window, QWidget* parent) : QWidget(parent), window_(window) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void HostWidget::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  PaintDc dc(painter);
  // A procedure that does not erase leaves the platform's window colour.
  if (SendMessageW(window_, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc.handle()), 0) == 0) {
    painter.fillRect(rect(), Qt::white);
  }
}

void HostWidget::closeEvent(QCloseEvent* event) {
  // Closing is the procedure's decision; the default one destroys the window.
  event->ignore();
  SendMessageW(window_, WM_CLOSE, 0, 0);
}

}  // namespace murmel::gui
