#include "userdata/address_book.h"

#include <memory>
#include <string>

#include "userdata/email_address.h"
#include "userdata/key_value.h"

namespace {

constexpr const WCHAR* ADDRESS_BOOK_PATH = u"\\Windows\\CEVireoRec.arr";

// Closes the file when the operation ends, on every path.
class ScopedFile {
 public:
  explicit ScopedFile(HANDLE handle) : handle_(handle) {}
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  ~ScopedFile() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

struct HeapReleaser {
  void operator()(void* block) const { HeapFree(GetProcessHeap(), 0, block); }
};

// The shortest entry line the file can hold: "addressN=" and a three-character address.
constexpr long long SHORTEST_ENTRY_BYTES = 24;

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

void WriteChars(HANDLE file, const WCHAR* text, int length) {
  DWORD written = 0;
  WriteFile(file, text, static_cast<DWORD>(length) * sizeof(WCHAR), &written, nullptr);
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
  const ScopedFile file(CreateFileW(ADDRESS_BOOK_PATH, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return false;

  DWORD sizeHigh = 0;
  const DWORD size = GetFileSize(file.get(), &sizeHigh);
  if (size == INVALID_FILE_SIZE || sizeHigh != 0) return false;

  // One more character than the file holds, zero-filled, so the text always ends in a NUL.
  const std::unique_ptr<void, HeapReleaser> block(
      HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, SIZE_T{size} + sizeof(WCHAR)));
  if (!block) return false;
  DWORD read = 0;
  if (!ReadFile(file.get(), block.get(), size, &read, nullptr)) return false;
  const auto* text = static_cast<const WCHAR*>(block.get());

  WCHAR countText[KEY_VALUE_MAX_LENGTH + 1] = {};
  ReadKeyValue(text, u"count=", countText);
  long long count = ParseCount(countText);
  // A damaged count must not keep the loader searching: the file cannot hold more entries.
  const long long mostEntries = static_cast<long long>(size) / SHORTEST_ENTRY_BYTES + 1;
  if (count > mostEntries) count = mostEntries;

  for (long long i = 0; i < count; ++i) {
    WCHAR key[32];
    wsprintfW(key, u"address%d=", i);
    WCHAR value[KEY_VALUE_MAX_LENGTH + 1] = {};
    if (!ReadKeyValue(text, key, value)) continue;
    if (ValidateEmail(value, 0) == 1) AddRecipients(recipientBox, value);
  }
  return true;
}

bool SaveAddressBook(HWND recipientBox) {
  const ScopedFile file(CreateFileW(ADDRESS_BOOK_PATH, GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return true;

  WriteChars(file.get(), u"[Address]\r\n", 11);
  const int count = static_cast<int>(SendMessageW(recipientBox, CB_GETCOUNT, 0, 0));
  WCHAR line[32];
  WriteChars(file.get(), line, wsprintfW(line, u"count=%d\r\n", count < 0 ? 0 : count));
  for (int i = 0; i < count; ++i) {
    const LRESULT length = SendMessageW(recipientBox, CB_GETLBTEXTLEN, i, 0);
    if (length < 0) continue;
    std::u16string entry(static_cast<std::size_t>(length), u'\0');
    SendMessageW(recipientBox, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry.data()));
    // Whatever the entry's length, it is written whole: the list is what the file keeps.
    WCHAR key[32];
    WriteChars(file.get(), key, wsprintfW(key, u"address%d=", i));
    WriteChars(file.get(), entry.c_str(), static_cast<int>(length));
    WriteChars(file.get(), u"\r\n", 2);
  }
  SetEndOfFile(file.get());
  return true;
}
