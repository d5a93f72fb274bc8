// What client code holds while one operation runs: a file handle and zero-filled blocks
// of the process heap, released on every way out of the function that holds them.
#pragma once

#include <windows.h>

#include <memory>

// A zero-filled block of the process heap; null when there is no memory.
inline void* HeapZeroed(SIZE_T bytes) {
  return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
}

// Returns a block to the process heap; null is allowed.
inline void HeapRelease(void* block) {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

struct HeapReleaser {
  void operator()(void* block) const { HeapRelease(block); }
};
// A heap block owned by the scope that holds it.
template <typename T>
using HeapPtr = std::unique_ptr<T, HeapReleaser>;

// A file handle closed when the scope ends; INVALID_HANDLE_VALUE holds nothing.
class ScopedFile {
 public:
  explicit ScopedFile(HANDLE handle) : handle_(handle) {}
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  ~ScopedFile() { Close(); }

  HANDLE get() const { return handle_; }
  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  // False when the platform could not close it: data written may not have reached the disk.
  bool Close() {
    const bool closed = !IsOpen() || CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};
