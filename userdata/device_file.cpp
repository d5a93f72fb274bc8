#include "userdata/device_file.h"

namespace {

bool WriteWhole(const std::u16string& path, const std::u16string& text) {
  ScopedFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return false;
  const auto bytes = static_cast<DWORD>(text.size() * sizeof(WCHAR));
  DWORD written = 0;
  return WriteFile(file.get(), text.data(), bytes, &written, nullptr) && written == bytes &&
         FlushFileBuffers(file.get()) && file.Close();
}

}  // namespace

int ReadDeviceFile(const WCHAR* path, DWORD shareMode, DeviceText& text) {
  const ScopedFile file(CreateFileW(path, GENERIC_READ, shareMode, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_FILE_NOT_FOUND ? DEVICE_FILE_MISSING : DEVICE_FILE_UNREADABLE;
  }
  DWORD sizeHigh = 0;
  const DWORD size = GetFileSize(file.get(), &sizeHigh);
  if (size == INVALID_FILE_SIZE || sizeHigh != 0) return DEVICE_FILE_UNREADABLE;

  // Whole units for every byte, and one more for the NUL: a file cut in the middle of a
  // unit must not leave the text's end straddling the buffer's.
  const SIZE_T units = SIZE_T{size} / sizeof(WCHAR) + SIZE_T{size} % sizeof(WCHAR) + 1;
  DeviceText block(static_cast<WCHAR*>(HeapZeroed(units * sizeof(WCHAR))));
  if (!block) return DEVICE_FILE_UNREADABLE;
  DWORD read = 0;
  if (!ReadFile(file.get(), block.get(), size, &read, nullptr)) return DEVICE_FILE_UNREADABLE;
  text = std::move(block);
  return DEVICE_FILE_READ;
}

bool ReplaceDeviceFile(const WCHAR* path, const std::u16string& text) {
  const std::u16string temporary = std::u16string(path) + u".new";
  if (WriteWhole(temporary, text) &&
      MoveFileExW(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileW(temporary.c_str());
  return false;
}
