// The widget of a window of a registered class: its procedure erases the client area's
// background (WM_ERASEBKGND) and hears about closing. With WS_BORDER the window draws a
// one-pixel frame inside its rectangle and the client area is that much smaller, so that
// children, painting and clicks all start inside the frame.
#pragma once

#include <QWidget>

#include "platform/gui/window_table.h"
#include "win/gui.h"

namespace murmel::gui {

class HostWidget : public QWidget {
 public:
  HostWidget(HWND window, bool bordered, QWidget* parent);

  // Where the window's children live and its procedure paints.
  QWidget* client() const { return client_; }
  QSize ClientSize() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  HWND window_;
  QWidget* client_;  // this window itself when it has no border
};

// Erases `area` through the window's procedure, or in the platform's window colour when the
// procedure leaves it.
void EraseThroughProcedure(HWND window, QWidget& area);

// The widget that holds a window's client area: children go there, client coordinates start
// at its origin.
QWidget* ClientWidget(const WindowRecord& record);
QSize ClientSizeOf(const WindowRecord& record);

}  // namespace murmel::gui
