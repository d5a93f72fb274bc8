// What the two sessions hold while they upload: a file opened for reading and a
// zero-filled heap block, each released on every way out of the session.
#pragma once

#include <windows.h>

#include "state/app_state.h"

// Opened for reading, existing file only, others may read it meanwhile. A null path
// opens nothing.
class SessionFile {
 public:
  explicit SessionFile(const WCHAR* path)
      : handle_(path == nullptr ? INVALID_HANDLE_VALUE
                                : CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~SessionFile() { Close(); }
  SessionFile(const SessionFile&) = delete;
  SessionFile& operator=(const SessionFile&) = delete;

  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  // The low 32 bits of the size; INVALID_FILE_SIZE when it cannot be told.
  DWORD Size() const { return IsOpen() ? GetFileSize(handle_, nullptr) : INVALID_FILE_SIZE; }
  // True only when all count bytes arrived: a short read would upload garbage.
  bool ReadExactly(BYTE* into, DWORD count) {
    DWORD read = 0;
    return IsOpen() && ReadFile(handle_, into, count, &read, nullptr) != 0 && read == count;
  }
  void Close() {
    if (IsOpen()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

class HeapBlock {
 public:
  // A block of zero bytes is allowed and holds no memory.
  explicit HeapBlock(SIZE_T size)
      : bytes_(size == 0 ? nullptr
                         : static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size))),
        size_(size) {}
  ~HeapBlock() { Free(); }
  HeapBlock(const HeapBlock&) = delete;
  HeapBlock& operator=(const HeapBlock&) = delete;

  bool IsValid() const { return size_ == 0 || bytes_ != nullptr; }
  BYTE* bytes() { return bytes_; }
  void Free() {
    if (bytes_ != nullptr) HeapFree(GetProcessHeap(), 0, bytes_);
    bytes_ = nullptr;
  }

 private:
  BYTE* bytes_;
  SIZE_T size_;
};

// The cancel test of every data frame: the Stop button's flag.
inline BOOL SendCancelRequested() { return appState.cancelRequested.load() != 0 ? TRUE : FALSE; }
