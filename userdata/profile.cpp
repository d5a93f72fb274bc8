#include "userdata/profile.h"

#include <memory>

#include "shell/app_state.h"
#include "userdata/key_value.h"

namespace {

constexpr const WCHAR* PROFILE_PATH = u"\\Windows\\CEVireoRec.pfi";

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

bool WriteChars(HANDLE file, const WCHAR* text, int length) {
  const DWORD bytes = static_cast<DWORD>(length) * sizeof(WCHAR);
  DWORD written = 0;
  return WriteFile(file, text, bytes, &written, nullptr) && written == bytes;
}

template <std::size_t N>
bool WriteField(HANDLE file, const WCHAR* format, const Text<N>& field) {
  WCHAR line[N + 16];
  return WriteChars(file, line, wsprintfW(line, format, field));
}

}  // namespace

int ReadProfileFile() {
  const ScopedFile file(CreateFileW(PROFILE_PATH, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_FILE_NOT_FOUND ? PROFILE_FILE_MISSING : PROFILE_FILE_UNREADABLE;
  }

  DWORD sizeHigh = 0;
  const DWORD size = GetFileSize(file.get(), &sizeHigh);
  if (size == INVALID_FILE_SIZE || sizeHigh != 0) return PROFILE_FILE_UNREADABLE;

  // One more character than the file holds, zero-filled, so the text always ends in a NUL.
  const std::unique_ptr<void, HeapReleaser> block(
      HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, SIZE_T{size} + sizeof(WCHAR)));
  if (!block) return PROFILE_FILE_UNREADABLE;
  DWORD read = 0;
  if (!ReadFile(file.get(), block.get(), size, &read, nullptr)) return PROFILE_FILE_UNREADABLE;

  // Neither the section line nor the order matters: each key is searched in the whole text.
  const auto* text = static_cast<const WCHAR*>(block.get());
  ReadKeyValue(text, u"email=", appState.email);
  ReadKeyValue(text, u"name=", appState.name);
  ReadKeyValue(text, u"sex=", appState.sex);
  ReadKeyValue(text, u"city=", appState.city);
  ReadKeyValue(text, u"state=", appState.state);
  ReadKeyValue(text, u"country=", appState.country);
  return PROFILE_FILE_READ;
}

bool IsProfileComplete() {
  return !appState.email.empty() && !appState.name.empty() && !appState.sex.empty() &&
         !appState.city.empty() && !appState.state.empty() && !appState.country.empty();
}

bool SaveProfile() {
  const ScopedFile file(CreateFileW(PROFILE_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return false;

  // A failed write leaves what was written so far; the next start then finds it incomplete.
  const bool written = WriteChars(file.get(), u"[VireoRec]\r\n", 12) &&
                       WriteField(file.get(), u"email=%s\r\n", appState.email) &&
                       WriteField(file.get(), u"name=%s\r\n", appState.name) &&
                       WriteField(file.get(), u"sex=%s\r\n", appState.sex) &&
                       WriteField(file.get(), u"city=%s\r\n", appState.city) &&
                       WriteField(file.get(), u"state=%s\r\n", appState.state) &&
                       WriteField(file.get(), u"country=%s\r\n", appState.country);
  if (!written) return false;
  SetEndOfFile(file.get());
  return true;
}
