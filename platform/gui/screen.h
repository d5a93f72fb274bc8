// The emulated 240 x 320 handheld screen: navigation bar, work area, menu bar with the
// input panel button, and the soft input panel. Top-level windows are children of the
// screen widget at their screen coordinates; the bars stay above them.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>

#include "win/gui.h"

namespace murmel::message {
class ThreadQueue;
}

namespace murmel::gui {

inline constexpr int kScreenWidth = 240;
inline constexpr int kScreenHeight = 320;
inline constexpr int kBarHeight = 26;
inline constexpr int kInputPanelHeight = 80;

// Creates the Qt application on first use; the calling thread becomes the GUI thread.
void EnsureApplication();
bool OnGuiThread();

QWidget* ScreenWidget();
// The parent of top-level windows.
QWidget* Desktop();
void SetNavigationTitle(const QString& title);
// Shows the navigation bar's Done button, which sends WM_COMMAND IDOK to `target`; null
// hides it.
void SetDoneButton(HWND target);
// The message queue of the user-interface thread (null before the application exists).
std::shared_ptr<message::ThreadQueue> GuiThreadQueue();
void ShowMenuBar(bool shown);
// Keeps the bars above top-level windows after one was created or raised.
void RaiseChrome();

bool InputPanelRaised();
// Raises or lowers the panel and tells every top-level window (WM_SETTINGCHANGE).
void SetInputPanel(bool raised);
RECT VisibleDesktop();
RECT InputPanelRect();

}  // namespace murmel::gui
