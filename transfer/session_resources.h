// What the two sessions hold while they upload: a file opened for reading and a
// zero-filled heap block, each released on every way out of the session.
#pragma once

#include <windows.h>

#include "state/app_state.h"
#include "state/scoped_resources.h"

// Opened for reading, existing file only, others may read it meanwhile. A null path
// opens nothing.
class SessionFile {
 public:
  explicit SessionFile(const WCHAR* path)
      : file_(path == nullptr ? INVALID_HANDLE_VALUE
                              : CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}

  bool IsOpen() const { return file_.IsOpen(); }
  // The low 32 bits of the size; INVALID_FILE_SIZE when it cannot be told.
  DWORD Size() const { return IsOpen() ? GetFileSize(file_.get(), nullptr) : INVALID_FILE_SIZE; }
  // True only when all count bytes arrived: a short read would upload garbage.
  bool ReadExactly(BYTE* into, DWORD count) {
    DWORD read = 0;
    return IsOpen() && ReadFile(file_.get(), into, count, &read, nullptr) != 0 && read == count;
  }
  void Close() { file_.Close(); }

 private:
  ScopedFile file_;
};

class HeapBlock {
 public:
  // A block of zero bytes is allowed and holds no memory.
  explicit HeapBlock(SIZE_T size)
      : bytes_(size == 0 ? nullptr : static_cast<BYTE*>(HeapZeroed(size))), size_(size) {}

  bool IsValid() const { return size_ == 0 || bytes_ != nullptr; }
  BYTE* bytes() { return bytes_.get(); }
  void Free() { bytes_.reset(); }

 private:
  HeapPtr<BYTE> bytes_;
  SIZE_T size_;
};

// The cancel test of every data frame: the Stop button's flag.
inline BOOL SendCancelRequested() { return appState.cancelRequested.load() != 0 ? TRUE : FALSE; }
