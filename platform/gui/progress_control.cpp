// "msctls_progress32": a range, a position and a step.
#include <QProgressBar>
#include <algorithm>

#include <commctrl.h>

#include "platform/gui/controls.h"
#include "platform/gui/window_access.h"

namespace murmel::gui {

namespace {

constexpr const char* kStepProperty = "murmel_step";

LRESULT SetPosition(QProgressBar& bar, int position) {
  const int previous = bar.value() < bar.minimum() ? bar.minimum() : bar.value();
  bar.setValue(std::clamp(position, bar.minimum(), bar.maximum()));
  return previous;
}

LRESULT ProgressProc(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  auto* bar = WidgetOf<QProgressBar>(hWnd);
  if (bar == nullptr) return DefWindowProcW(hWnd, Msg, wParam, lParam);
  switch (Msg) {
    case PBM_SETRANGE: {
      const LRESULT previous = MAKELONG(bar->minimum(), bar->maximum());
      bar->setRange(LOWORD(lParam), HIWORD(lParam));
      return previous;
    }
    case PBM_SETPOS:
      return SetPosition(*bar, static_cast<int>(wParam));
    case PBM_DELTAPOS:
      return SetPosition(*bar, std::max(bar->value(), bar->minimum()) + static_cast<int>(wParam));
    case PBM_SETSTEP: {
      const LRESULT previous = bar->property(kStepProperty).toInt();
      bar->setProperty(kStepProperty, static_cast<int>(wParam));
      return previous;
    }
    case PBM_STEPIT:
      return SetPosition(
          *bar, std::max(bar->value(), bar->minimum()) + bar->property(kStepProperty).toInt());
    case PBM_GETPOS:
      return std::max(bar->value(), bar->minimum());
    default:
      return DefWindowProcW(hWnd, Msg, wParam, lParam);
  }
}

QWidget* MakeProgress(WindowRecord& /*record*/, const CREATESTRUCTW& /*create*/, QWidget* parent) {
  auto* bar = new QProgressBar(parent);  // owned by the parent widget
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->setTextVisible(false);
  bar->setProperty(kStepProperty, 10);
  return bar;
}

}  // namespace

WindowClass ProgressClass() {
  return WindowClass{u"msctls_progress32", 0, ProgressProc, nullptr, MakeProgress};
}

}  // namespace murmel::gui

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce) {
  return picce != nullptr && picce->dwSize == sizeof(INITCOMMONCONTROLSEX) ? TRUE : FALSE;
}
