// What the GUI layer knows about each window: its class, procedure, place in the tree and
// the Qt widget that shows it. Used on the user-interface thread only.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "win/gui.h"

namespace murmel::gui {

struct WindowRecord;

// Builds the widget of a new window of a class (null parent widget: a top-level window).
using WidgetFactory = std::function<QWidget*(WindowRecord&, const CREATESTRUCTW&, QWidget* parent)>;

struct WindowClass {
  std::u16string name;
  UINT style = 0;
  WNDPROC proc = nullptr;
  HINSTANCE instance = nullptr;
  WidgetFactory factory;  // empty: a plain host widget that paints through the procedure
};

struct WindowRecord {
  HWND handle = nullptr;
  const WindowClass* window_class = nullptr;  // the procedure is in the message registry
  HWND parent = nullptr;
  int id = 0;
  DWORD style = 0;
  DWORD ex_style = 0;
  LONG_PTR user_data = 0;
  std::u16string text;  // the text of windows whose widget holds none
  HICON icons[2] = {nullptr, nullptr};
  QPointer<QWidget> widget;
  bool destroying = false;
};

// Class registry (names compare case-insensitively).
const WindowClass* FindClass(const WCHAR* name);
bool AddClass(WindowClass window_class);
bool RemoveClass(const WCHAR* name);

WindowRecord* FindWindow(HWND window);
WindowRecord& AddWindow(HWND window);
void RemoveWindow(HWND window);
std::vector<HWND> ChildrenOf(HWND parent);
std::vector<HWND> TopLevelWindows();
// Marks the widget (and so its inner widgets) as showing the window.
void BindWidget(WindowRecord& record, QWidget* widget);
// The window a widget (or one of its inner widgets) shows, or null.
HWND WindowOfWidget(const QWidget* widget);

}  // namespace murmel::gui
