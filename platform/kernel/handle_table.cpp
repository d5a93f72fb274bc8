#include "platform/kernel/handle_table.h"

#include "win/error.h"
#include "win/kernel.h"

namespace murmel::kernel {
namespace {

// A handle's value: the generation in the high 32 bits, (slot + 1) * 4 in the low 32 bits,
// so no handle is null, INVALID_HANDLE_VALUE or unaligned like the platform's own.
constexpr std::uint32_t kMaxSlots = 1u << 24;
constexpr std::uint32_t kRetiredGeneration = 0xFFFFFFFFu;

HANDLE EncodeHandle(std::uint32_t slot, std::uint32_t generation) {
  const std::uint64_t value =
      (static_cast<std::uint64_t>(generation) << 32) | (static_cast<std::uint64_t>(slot + 1) << 2);
  // A handle is a number that only looks like a pointer; nothing dereferences it.
  return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value));
}

bool DecodeHandle(HANDLE handle, std::uint32_t& slot, std::uint32_t& generation) {
  const auto value = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(handle));
  const auto low = static_cast<std::uint32_t>(value & 0xFFFFFFFFu);
  if (low == 0 || (low & 3u) != 0) return false;
  slot = (low >> 2) - 1;
  generation = static_cast<std::uint32_t>(value >> 32);
  return true;
}

}  // namespace

HandleTable& HandleTable::Instance() {
  static Immortal<HandleTable> table;
  return table.get();
}

HANDLE HandleTable::Insert(std::shared_ptr<KernelObject> object) {
  std::lock_guard lock(mutex_);
  std::uint32_t slot = 0;
  if (!free_.empty()) {
    slot = free_.front();
    free_.pop_front();
  } else {
    if (slots_.size() >= kMaxSlots) return nullptr;
    slot = static_cast<std::uint32_t>(slots_.size());
    slots_.emplace_back();
  }
  slots_[slot].object = std::move(object);
  return EncodeHandle(slot, slots_[slot].generation);
}

const HandleTable::Slot* HandleTable::LiveSlot(HANDLE handle) const {
  std::uint32_t slot = 0;
  std::uint32_t generation = 0;
  if (!DecodeHandle(handle, slot, generation) || slot >= slots_.size()) return nullptr;
  const Slot& entry = slots_[slot];
  if (entry.generation != generation || !entry.object) return nullptr;
  return &entry;
}

std::shared_ptr<KernelObject> HandleTable::Find(HANDLE handle) const {
  std::lock_guard lock(mutex_);
  const Slot* entry = LiveSlot(handle);
  return entry ? entry->object : nullptr;
}

std::shared_ptr<KernelObject> HandleTable::Remove(HANDLE handle) {
  std::lock_guard lock(mutex_);
  const Slot* live = LiveSlot(handle);
  if (!live || !live->object->Closable()) return nullptr;
  const auto slot = static_cast<std::uint32_t>(live - slots_.data());
  Slot& entry = slots_[slot];
  std::shared_ptr<KernelObject> object = std::move(entry.object);
  entry.object.reset();
  // A slot whose generations are used up is retired rather than handed out again.
  if (++entry.generation != kRetiredGeneration) free_.push_back(slot);
  return object;
}

}  // namespace murmel::kernel

BOOL CloseHandle(HANDLE hObject) {
  // The reference leaves the table here; the object itself ends when its last user does.
  std::shared_ptr<murmel::kernel::KernelObject> object =
      murmel::kernel::HandleTable::Instance().Remove(hObject);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
