// The built-in control classes and what they share.
#pragma once

#include <QStringList>
#include <QWidget>

#include "platform/gui/window_table.h"

namespace murmel::gui {

WindowClass StaticClass();
WindowClass EditClass();
WindowClass ButtonClass();
WindowClass ProgressClass();
WindowClass ComboBoxClass();
WindowClass ListBoxClass();

// Tells the control's parent when `widget` gains or loses the focus (WM_COMMAND codes).
void NotifyFocus(QWidget* widget, HWND control, WORD set_code, WORD kill_code);

// The list search of combo and list boxes: the first item after `start_after` (-1: from the
// top) that begins with `text` (or equals it when `exact`), ignoring case, wrapping round to
// the items before it. -1 when none matches.
int FindListItem(const QStringList& items, int start_after, const QString& text, bool exact);
// Where a sorted list inserts `text`: after every item that does not sort after it.
int SortedInsertIndex(const QStringList& items, const QString& text);

// The frame of a control with a border or an edge style.
bool HasEdge(const WindowRecord& record);

}  // namespace murmel::gui
