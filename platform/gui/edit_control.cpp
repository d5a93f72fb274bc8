// "EDIT": single-line (QLineEdit) or multi-line with Enter as a line break (QPlainTextEdit).
// Multi-line text is exchanged with CR LF line ends, as the platform's edit control does.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>

#include "platform/gui/controls.h"
#include "platform/gui/window_access.h"
#include "platform/gui/window_state.h"
#include "win/gui_controls.h"

namespace murmel::gui {

namespace {

struct Selection {
  int start;
  int end;
};

LRESULT ReportSelection(Selection selection, WPARAM start_out, LPARAM end_out) {
  if (auto* start = reinterpret_cast<DWORD*>(start_out))
    *start = static_cast<DWORD>(selection.start);
  if (auto* end = reinterpret_cast<DWORD*>(end_out)) *end = static_cast<DWORD>(selection.end);
  if (selection.start > 0xFFFF || selection.end > 0xFFFF) return -1;
  return MAKELONG(selection.start, selection.end);
}

// EM_SETSEL: a start of -1 removes the selection; an end of -1 (or past the text) is the end.
Selection Requested(WPARAM start_param, LPARAM end_param, int length, Selection current) {
  const auto start = static_cast<int>(static_cast<INT_PTR>(start_param));
  const auto end = static_cast<int>(end_param);
  if (start == -1) return Selection{current.end, current.end};
  const int clamped_start = std::clamp(start, 0, length);
  const int clamped_end = end < 0 ? length : std::min(end, length);
  return Selection{clamped_start, clamped_end};
}

Selection LineSelection(const QLineEdit& edit) {
  if (!edit.hasSelectedText()) return Selection{edit.cursorPosition(), edit.cursorPosition()};
  const int start = edit.selectionStart();
  return Selection{start, start + static_cast<int>(edit.selectedText().size())};
}

// The caret ends at `end`, also when it lies before `start`.
void SelectLine(QLineEdit& edit, Selection selection) {
  edit.setSelection(selection.start, selection.end - selection.start);
}

LRESULT LineEditProc(HWND hWnd, QLineEdit& edit, UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
    case WM_SETTEXT:
      edit.setText(TextFromParam(lParam));
      return TRUE;
    case WM_GETTEXT:
      return CopyTextOut(edit.text(), wParam, lParam);
    case WM_GETTEXTLENGTH:
      return edit.text().size();
    case EM_GETSEL:
      return ReportSelection(LineSelection(edit), wParam, lParam);
    case EM_SETSEL:
      SelectLine(edit, Requested(wParam, lParam, static_cast<int>(edit.text().size()),
                                 LineSelection(edit)));
      return 0;
    default:
      return DefWindowProcW(hWnd, Msg, wParam, lParam);
  }
}

QString ToCrLf(QString text) { return text.replace(QLatin1Char('\n'), QStringLiteral("\r\n")); }
QString FromCrLf(QString text) {
  return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

LRESULT TextEditProc(HWND hWnd, QPlainTextEdit& edit, UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
    case WM_SETTEXT:
      edit.setPlainText(FromCrLf(TextFromParam(lParam)));
      return TRUE;
    case WM_GETTEXT:
      return CopyTextOut(ToCrLf(edit.toPlainText()), wParam, lParam);
    case WM_GETTEXTLENGTH:
      return ToCrLf(edit.toPlainText()).size();
    case EM_GETSEL: {
      const QTextCursor cursor = edit.textCursor();
      return ReportSelection(Selection{cursor.selectionStart(), cursor.selectionEnd()}, wParam,
                             lParam);
    }
    case EM_SETSEL: {
      QTextCursor cursor = edit.textCursor();
      const Selection current{cursor.selectionStart(), cursor.selectionEnd()};
      const Selection wanted =
          Requested(wParam, lParam, static_cast<int>(edit.toPlainText().size()), current);
      cursor.setPosition(wanted.start);
      cursor.setPosition(wanted.end, QTextCursor::KeepAnchor);
      edit.setTextCursor(cursor);
      return 0;
    }
    default:
      return DefWindowProcW(hWnd, Msg, wParam, lParam);
  }
}

LRESULT EditProc(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (auto* line = WidgetOf<QLineEdit>(hWnd)) return LineEditProc(hWnd, *line, Msg, wParam, lParam);
  if (auto* text = WidgetOf<QPlainTextEdit>(hWnd))
    return TextEditProc(hWnd, *text, Msg, wParam, lParam);
  return DefWindowProcW(hWnd, Msg, wParam, lParam);
}

QWidget* MakeEdit(WindowRecord& record, const CREATESTRUCTW& create, QWidget* parent) {
  const HWND handle = record.handle;
  const QString initial = TextFromParam(reinterpret_cast<LPARAM>(create.lpszName));
  QWidget* widget = nullptr;
  if ((record.style & ES_MULTILINE) != 0) {
    auto* edit = new QPlainTextEdit(parent);  // owned by the parent widget
    edit->setPlainText(FromCrLf(initial));
    edit->setVerticalScrollBarPolicy((record.style & WS_VSCROLL) != 0 ? Qt::ScrollBarAlwaysOn
                                                                      : Qt::ScrollBarAlwaysOff);
    edit->setHorizontalScrollBarPolicy((record.style & WS_HSCROLL) != 0 ? Qt::ScrollBarAlwaysOn
                                                                        : Qt::ScrollBarAlwaysOff);
    edit->setLineWrapMode((record.style & ES_AUTOHSCROLL) != 0 ? QPlainTextEdit::NoWrap
                                                               : QPlainTextEdit::WidgetWidth);
    edit->setTabChangesFocus(true);
    if (!HasEdge(record)) edit->setFrameStyle(QFrame::NoFrame);
    QObject::connect(edit, &QPlainTextEdit::textChanged, edit,
                     [handle] { NotifyParent(handle, EN_CHANGE); });
    widget = edit;
  } else {
    auto* edit = new QLineEdit(initial, parent);  // owned by the parent widget
    edit->setFrame(HasEdge(record));
    edit->setReadOnly((record.style & ES_READONLY) != 0);
    QObject::connect(edit, &QLineEdit::textChanged, edit,
                     [handle] { NotifyParent(handle, EN_CHANGE); });
    widget = edit;
  }
  NotifyFocus(widget, handle, EN_SETFOCUS, EN_KILLFOCUS);
  return widget;
}

}  // namespace

WindowClass EditClass() { return WindowClass{u"EDIT", 0, EditProc, nullptr, MakeEdit}; }

}  // namespace murmel::gui
