// The test interface of the emulated handheld: reach the Qt widget behind a window, click
// and type as a user would (Qt Test events, offscreen), and grab the screen to a PNG.
// Link `platform_gui_testing`. Needs QT_QPA_PLATFORM=offscreen without a display.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class QWidget;

namespace murmel::testing {

// The widget that shows the window, or null.
QWidget* WidgetOf(HWND window);
// The whole emulated screen, and its named parts: "navigation_bar", "menu_bar",
// "input_panel_button", "input_panel", and the soft keys "key_a" ... "key_space".
QWidget* Screen();
QWidget* ScreenPart(const char* name);

// A left click in the middle of the window (or part).
void Click(HWND window);
void Click(QWidget* widget);
// Holds the left button down on the window until Release.
void Press(HWND window);
void Release(HWND window);
// Types the text into the window's widget (or its edit field) key by key.
void Type(HWND window, const char16_t* text);
// One key by its Qt key code (e.g. Qt::Key_Backspace as an int).
void Key(HWND window, int qt_key);

// Lets Qt deliver what is pending (paints, timers, queued calls).
void ProcessEvents();
// Saves the emulated screen as a PNG; false when it cannot be written.
bool SaveScreen(const char* png_path);

// Message boxes. Every box shown is recorded. With an answer set, each box is answered as
// soon as it is on the screen by a click on its button of that id (IDOK, IDYES, IDNO ...),
// or on its default button when it has none; 0 leaves the boxes open for the test to click.
struct ShownMessageBox {
  HWND box;  // valid while the box is on the screen
  HWND owner;
  std::u16string text;
  std::u16string caption;
  UINT style;
};
void AnswerMessageBoxes(int answer);
std::vector<ShownMessageBox> MessageBoxesShown();
void ForgetMessageBoxesShown();
// The button of the box on the screen now that stands for `answer`, or null.
HWND MessageBoxButton(int answer);

}  // namespace murmel::testing
