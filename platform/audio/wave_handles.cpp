#include "platform/audio/wave_handles.h"

namespace murmel::audio {

UINT_PTR WaveHandles::Reserve(Direction direction) {
  std::lock_guard lock(mutex_);
  Slot& slot = SlotFor(direction);
  if (slot.reserved) return 0;
  // Handles are never reused, so a closed one stays invalid.
  ++serial_;
  slot = Slot{(serial_ << 4) | (direction == Direction::kInput ? 0x1u : 0x3u), true, nullptr};
  return slot.handle;
}

void WaveHandles::Install(UINT_PTR handle, std::shared_ptr<WaveDevice> device) {
  std::lock_guard lock(mutex_);
  for (Slot& slot : slots_) {
    if (slot.reserved && slot.handle == handle) slot.device = std::move(device);
  }
}

void WaveHandles::Release(UINT_PTR handle) {
  std::shared_ptr<WaveDevice> last;  // destroyed outside the lock
  std::lock_guard lock(mutex_);
  for (Slot& slot : slots_) {
    if (slot.reserved && slot.handle == handle) {
      last = std::move(slot.device);
      slot = Slot{};
    }
  }
}

std::shared_ptr<WaveDevice> WaveHandles::Find(UINT_PTR handle, Direction direction) {
  std::lock_guard lock(mutex_);
  Slot& slot = SlotFor(direction);
  if (handle == 0 || slot.handle != handle) return nullptr;
  return slot.device;
}

WaveHandles& OpenWaveDevices() {
  static WaveHandles handles;
  return handles;
}

}  // namespace murmel::audio
