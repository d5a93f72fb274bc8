#include "platform/gui/host_widget.h"

#include <QCloseEvent>
#include <QPainter>
#include <algorithm>

#include "platform/gui/paint_dc.h"

namespace murmel::gui {

namespace {

constexpr int kBorder = 1;

// The client area inside a border: erased by the window's procedure like a borderless window.
class ClientArea final : public QWidget {
 public:
  ClientArea(HWND window, QWidget* parent) : QWidget(parent), window_(window) {
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent* /*event*/) override { EraseThroughProcedure(window_, *this); }

 private:
  HWND window_;
};

}  // namespace

void EraseThroughProcedure(HWND window, QWidget& area) {
  QPainter painter(&area);
  PaintDc dc(painter);
  if (SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc.handle()), 0) == 0) {
    painter.fillRect(area.rect(), Qt::white);
  }
}

HostWidget::HostWidget(HWND window, bool bordered, QWidget* parent)
    : QWidget(parent), window_(window), client_(this) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  if (bordered) {
    client_ = new ClientArea(window, this);
    client_->move(kBorder, kBorder);  // children placed before the first resize map through it
  }
}

QSize HostWidget::ClientSize() const {
  if (client_ == this) return size();
  return {std::max(0, width() - 2 * kBorder), std::max(0, height() - 2 * kBorder)};
}

void HostWidget::paintEvent(QPaintEvent* /*event*/) {
  if (client_ == this) {
    EraseThroughProcedure(window_, *this);
    return;
  }
  // The platform draws the thin border in the window-frame colour, black.
  QPainter painter(this);
  painter.setPen(Qt::black);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void HostWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (client_ != this) client_->setGeometry(QRect(QPoint(kBorder, kBorder), ClientSize()));
}

void HostWidget::closeEvent(QCloseEvent* event) {
  // Closing is the procedure's decision; the default one destroys the window.
  event->ignore();
  SendMessageW(window_, WM_CLOSE, 0, 0);
}

QWidget* ClientWidget(const WindowRecord& record) {
  if (const auto* host = dynamic_cast<const HostWidget*>(record.widget.data())) {
    return host->client();
  }
  return record.widget.data();
}

QSize ClientSizeOf(const WindowRecord& record) {
  if (const auto* host = dynamic_cast<const HostWidget*>(record.widget.data())) {
    return host->ClientSize();
  }
  return record.widget ? record.widget->size() : QSize();
}

}  // namespace murmel::gui
