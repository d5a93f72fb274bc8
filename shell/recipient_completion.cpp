#include "shell/recipient_completion.h"

#include "resources/resource_ids.h"
#include "state/app_state.h"

namespace {

constexpr std::size_t RECIPIENT_TEXT_CAPACITY = 1024;

bool IsSeparator(WCHAR ch) { return ch == u' ' || ch == u',' || ch == u';'; }

struct Selection {
  int start = 0;
  int end = 0;
};

Selection ReadSelection(HWND box) {
  DWORD start = 0;
  DWORD end = 0;
  SendMessageW(box, CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start),
               reinterpret_cast<LPARAM>(&end));
  return {static_cast<int>(start), static_cast<int>(end)};
}

void Remember(const Selection& selection) {
  appState.toSelStart = selection.start;
  appState.toSelEnd = selection.end;
}

// Index of the first list item that begins with word (any letter case), trying the first
// item last; -1 when none does.
int FindCompletion(HWND box, const WCHAR* word, int wordLength,
                   Text<RECIPIENT_TEXT_CAPACITY>& item) {
  const int count = static_cast<int>(SendMessageW(box, CB_GETCOUNT, 0, 0));
  for (int step = 1; step <= count; ++step) {
    const int index = step % count;
    const LRESULT length = SendMessageW(box, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < wordLength || length >= static_cast<LRESULT>(item.capacity())) continue;
    SendMessageW(box, CB_GETLBTEXT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(item.data()));
    if (_wcsnicmp(item.data(), word, static_cast<std::size_t>(wordLength)) == 0) return index;
  }
  return -1;
}

void CompletionStep(HWND box) {
  Text<RECIPIENT_TEXT_CAPACITY> text;
  GetWindowTextW(box, text.data(), static_cast<int>(text.capacity()));
  const int length = static_cast<int>(text.length());
  Selection selection = ReadSelection(box);
  const int caret = selection.start;

  if (caret == 0 || caret != selection.end || caret > length) {
    Remember(selection);
    return;
  }
  // A separator was just typed.
  if (IsSeparator(text.data()[caret - 1])) {
    Remember(selection);
    return;
  }
  // A deletion must not be completed again: after Backspace the caret moved left, after
  // deleting a selected tail it stays where the selection began.
  const int previousStart = appState.toSelStart;
  const int previousEnd = appState.toSelEnd;
  if (!(previousStart < caret || (previousStart == caret && previousStart == previousEnd))) {
    Remember(selection);
    return;
  }
  // Only the end of a word is completed.
  if (caret < length && !IsSeparator(text.data()[caret])) {
    Remember(selection);
    return;
  }
  selection = ReadSelection(box);
  Remember(selection);

  int wordStart = caret;
  while (wordStart > 0 && !IsSeparator(text.data()[wordStart - 1])) --wordStart;
  const int wordLength = caret - wordStart;

  Text<RECIPIENT_TEXT_CAPACITY> item;
  if (FindCompletion(box, text.data() + wordStart, wordLength, item) < 0) {
    Remember(ReadSelection(box));
    return;
  }
  const int itemLength = static_cast<int>(item.length());
  // A completion that would not fit the box's working text is skipped, not cut.
  if (length - wordLength + itemLength >= static_cast<int>(text.capacity())) return;

  Text<RECIPIENT_TEXT_CAPACITY> completed;
  WCHAR* out = completed.data();
  for (int i = 0; i < wordStart; ++i) *out++ = text.data()[i];
  for (int i = 0; i < itemLength; ++i) *out++ = item.data()[i];
  for (int i = caret; i < length; ++i) *out++ = text.data()[i];
  *out = 0;
  SetWindowTextW(box, completed);
  SendMessageW(box, CB_SETEDITSEL, 0, MAKELONG(caret, wordStart + itemLength));
  Remember(ReadSelection(box));
}

}  // namespace

void CompleteRecipient(HWND window, HWND control, int notificationCode) {
  switch (notificationCode) {
    case CBN_SELCHANGE:
    case CBN_KILLFOCUS:
      appState.toSelStart = 0;
      return;
    case CBN_EDITCHANGE:
      if (control != nullptr && control == GetDlgItem(window, IDC_RECIPIENTS)) {
        CompletionStep(control);
      }
      return;
    default:
      return;
  }
}
