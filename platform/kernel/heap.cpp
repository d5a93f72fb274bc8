// The process heap. Blocks come from the C++ allocator, so sanitizers and leak checkers
// treat them like any other allocation.
#include <cstring>
#include <memory>
#include <new>

#include "platform/kernel/handle_table.h"
#include "win/error.h"
#include "win/kernel.h"

namespace murmel::kernel {
namespace {

class HeapObject final : public KernelObject {
 public:
  bool Closable() const override { return false; }
};

HANDLE ProcessHeap() {
  static const HANDLE heap = HandleTable::Instance().Insert(std::make_shared<HeapObject>());
  return heap;
}

}  // namespace
}  // namespace murmel::kernel

HANDLE GetProcessHeap() { return murmel::kernel::ProcessHeap(); }

LPVOID HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes) {
  // Like the platform, a failed allocation answers null without touching the last error.
  if (!hHeap || hHeap != murmel::kernel::ProcessHeap()) return nullptr;
  void* block = ::operator new(dwBytes, std::nothrow);
  if (block && (dwFlags & HEAP_ZERO_MEMORY)) std::memset(block, 0, dwBytes);
  return block;
}

BOOL HeapFree(HANDLE hHeap, DWORD /*dwFlags*/, LPVOID lpMem) {
  if (!hHeap || hHeap != murmel::kernel::ProcessHeap()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  ::operator delete(lpMem);
  return TRUE;
}
