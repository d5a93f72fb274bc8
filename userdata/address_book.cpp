#include "userdata/address_book.h"

#include <string>

#include "userdata/device_file.h"
#include "userdata/email_address.h"
#include "userdata/key_value.h"

namespace {

constexpr const WCHAR* ADDRESS_BOOK_PATH = u"\\Windows\\CEVireoRec.arr";

// Decimal as the C library reads it: leading white space, an optional sign, then digits.
long long ParseCount(const WCHAR* text) {
  while (*text == u' ' || (*text >= u'\t' && *text <= u'\r')) ++text;
  const bool negative = *text == u'-';
  if (*text == u'-' || *text == u'+') ++text;
  long long value = 0;
  for (; *text >= u'0' && *text <= u'9'; ++text) {
    if (value < 1'000'000'000'000LL) value = value * 10 + (*text - u'0');
  }
  return negative ? -value : value;
}

void AppendFormatted(std::u16string& text, const WCHAR* format, long long number) {
  WCHAR line[32];
  text.append(line, static_cast<std::size_t>(wsprintfW(line, format, number)));
}

}  // namespace

void AddRecipients(HWND recipientBox, const WCHAR* text) {
  std::u16string compact;
  for (const WCHAR* ch = text; *ch != 0; ++ch) {
    if (*ch != u' ') compact.push_back(*ch);
  }
  std::size_t start = 0;
  while (start <= compact.size()) {
    std::size_t end = compact.find(u',', start);
    if (end == std::u16string::npos) end = compact.size();
    const std::u16string piece = compact.substr(start, end - start);
    start = end + 1;
    if (piece.empty() || piece.size() > ADDRESS_ENTRY_MAX_LENGTH) continue;
    // The list's own exact search ignores letter case, so the form added first stays.
    const LPARAM pieceText = reinterpret_cast<LPARAM>(piece.c_str());
    if (SendMessageW(recipientBox, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), pieceText) ==
        CB_ERR) {
      SendMessageW(recipientBox, CB_ADDSTRING, 0, pieceText);
    }
  }
}

bool LoadAddressBook(HWND recipientBox) {
  DeviceText block;
  if (ReadDeviceFile(ADDRESS_BOOK_PATH, FILE_SHARE_READ, block) != DEVICE_FILE_READ) return false;
  const WCHAR* text = block.get();

  WCHAR countText[KEY_VALUE_MAX_LENGTH + 1] = {};
  ReadKeyValue(text, u"count=", countText);
  const long long count = ParseCount(countText);

  // Walking the keys the text holds, rather than every number below the count, visits each
  // entry a file can hold once, and a damaged count costs nothing.
  for (const NumberedValue& entry : ReadNumberedValues(text, u"address")) {
    if (entry.number >= count) break;
    // Cutting a longer value could make another, valid-looking address of it.
    if (entry.value.size() > KEY_VALUE_MAX_LENGTH) continue;
    WCHAR value[KEY_VALUE_MAX_LENGTH + 1] = {};
    entry.value.copy(value, entry.value.size());
    if (ValidateEmail(value, 0) == 1) AddRecipients(recipientBox, value);
  }
  return true;
}

bool SaveAddressBook(HWND recipientBox) {
  std::u16string text = u"[Address]\r\n";
  const int count = static_cast<int>(SendMessageW(recipientBox, CB_GETCOUNT, 0, 0));
  AppendFormatted(text, u"count=%d\r\n", count < 0 ? 0 : count);
  for (int i = 0; i < count; ++i) {
    const LRESULT length = SendMessageW(recipientBox, CB_GETLBTEXTLEN, i, 0);
    if (length < 0) continue;
    std::u16string entry(static_cast<std::size_t>(length), u'\0');
    SendMessageW(recipientBox, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry.data()));
    // Whatever the entry's length, it is written whole: the list is what the file keeps.
    AppendFormatted(text, u"address%d=", i);
    text += entry;
    text += u"\r\n";
  }
  // Failures stay silent; replacing the file whole means one never costs the old book.
  ReplaceDeviceFile(ADDRESS_BOOK_PATH, text);
  return true;
}
