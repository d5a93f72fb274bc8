#include "platform/message/window_registry.h"

#include <cstdint>
#include <mutex>
#include <vector>

#include "win/error.h"

namespace murmel::message {

namespace {

// A handle is slot number (low 16 bits, from 1) plus the slot's generation above it; a
// destroyed window's slot is reused only under a new generation.
constexpr std::uintptr_t kSlotBits = 16;
constexpr std::uintptr_t kSlotMask = (std::uintptr_t{1} << kSlotBits) - 1;
constexpr std::uintptr_t kGenerationMask = 0x7fff;

struct WindowSlot {
  std::uintptr_t generation = 0;
  std::shared_ptr<ThreadQueue> owner;  // null while the slot is free
  WNDPROC procedure = nullptr;
};

class WindowRegistry {
 public:
  HWND Create(std::shared_ptr<ThreadQueue> owner) {
    std::lock_guard lock(mutex_);
    std::size_t index = 0;
    while (index < slots_.size() && slots_[index].owner) ++index;
    if (index == slots_.size()) {
      if (slots_.size() == kSlotMask) return nullptr;
      slots_.emplace_back();
    }
    WindowSlot& slot = slots_[index];
    slot.generation = (slot.generation + 1) & kGenerationMask;
    slot.owner = std::move(owner);
    slot.procedure = nullptr;
    return reinterpret_cast<HWND>((slot.generation << kSlotBits) | (index + 1));
  }

  bool Destroy(HWND window) {
    std::lock_guard lock(mutex_);
    WindowSlot* slot = Find(window);
    if (slot == nullptr) return false;
    slot->owner.reset();
    return true;
  }

  std::shared_ptr<ThreadQueue> Owner(HWND window) {
    std::lock_guard lock(mutex_);
    WindowSlot* slot = Find(window);
    return slot != nullptr ? slot->owner : nullptr;
  }

  WNDPROC Procedure(HWND window) {
    std::lock_guard lock(mutex_);
    WindowSlot* slot = Find(window);
    return slot != nullptr ? slot->procedure : nullptr;
  }

  WNDPROC SetProcedure(HWND window, WNDPROC procedure) {
    std::lock_guard lock(mutex_);
    WindowSlot* slot = Find(window);
    if (slot == nullptr) return nullptr;
    std::swap(slot->procedure, procedure);
    return procedure;
  }

  void DestroyAllOf(const ThreadQueue* owner) {
    std::lock_guard lock(mutex_);
    for (WindowSlot& slot : slots_) {
      if (slot.owner.get() == owner) slot.owner.reset();
    }
  }

 private:
  WindowSlot* Find(HWND window) {
    const auto value = reinterpret_cast<std::uintptr_t>(window);
    const std::uintptr_t index = value & kSlotMask;
    if (index == 0 || index > slots_.size()) return nullptr;
    WindowSlot& slot = slots_[index - 1];
    if (!slot.owner || (value >> kSlotBits) != slot.generation) return nullptr;
    return &slot;
  }

  std::mutex mutex_;
  std::vector<WindowSlot> slots_;
};

WindowRegistry& Registry() {
  static WindowRegistry registry;
  return registry;
}

}  // namespace

HWND CreateWindowRecord() { return Registry().Create(CurrentThreadQueue()); }

bool DestroyWindowRecord(HWND window) { return Registry().Destroy(window); }

std::shared_ptr<ThreadQueue> WindowOwnerQueue(HWND window) { return Registry().Owner(window); }

WNDPROC WindowProcedure(HWND window) { return Registry().Procedure(window); }

WNDPROC SetWindowProcedure(HWND window, WNDPROC procedure) {
  return Registry().SetProcedure(window, procedure);
}

LRESULT RunOnOwner(HWND window, const std::function<LRESULT()>& call, LRESULT failure) {
  std::shared_ptr<ThreadQueue> owner = WindowOwnerQueue(window);
  if (!owner) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return failure;
  }
  std::shared_ptr<ThreadQueue> self = CurrentThreadQueue();
  if (owner == self) return call();
  auto sent = std::make_shared<SentCall>();
  sent->call = call;
  sent->reply_to = self;
  owner->Send(sent);
  self->WaitForReply(*sent);
  return sent->result;
}

void DestroyWindowsOf(const ThreadQueue* owner) { Registry().DestroyAllOf(owner); }

}  // namespace murmel::message
