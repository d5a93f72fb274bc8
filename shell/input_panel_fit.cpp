#include "shell/input_panel_fit.h"

#include <aygshell.h>

#include "resources/resource_ids.h"

namespace {

constexpr int TEXT_BOX_X = 10;
constexpr int TEXT_BOX_Y = 158;
constexpr int TEXT_BOX_WIDTH = 220;
// With the panel lowered the menu bar's strip stays clear; a raised panel sits right
// below the box.
constexpr int MARGIN_PANEL_RAISED = 2;
constexpr int MARGIN_PANEL_LOWERED = 31;

}  // namespace

void FitTextToInputPanel(HWND window) {
  SIPINFO sip{};
  sip.cbSize = sizeof(sip);
  SHSipInfo(SPI_GETSIPINFO, 0, &sip, 0);
  const int margin = (sip.fdwFlags & SIPF_ON) != 0 ? MARGIN_PANEL_RAISED : MARGIN_PANEL_LOWERED;
  const int visible_height = sip.rcVisibleDesktop.bottom - sip.rcVisibleDesktop.top;
  MoveWindow(GetDlgItem(window, IDC_MESSAGE_TEXT), TEXT_BOX_X, TEXT_BOX_Y, TEXT_BOX_WIDTH,
             visible_height - margin - TEXT_BOX_Y, TRUE);
}
