// The table of open wave devices behind HWAVEIN / HWAVEOUT. One device per direction may
// be open at a time, as on the handheld, whose input and output cannot be shared.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/audio/wave_device.h"

namespace murmel::audio {

class WaveHandles {
 public:
  // A handle for a device about to open, or 0 when that direction is already in use.
  UINT_PTR Reserve(Direction direction);
  void Install(UINT_PTR handle, std::shared_ptr<WaveDevice> device);
  void Release(UINT_PTR handle);
  // The open device of that direction behind `handle`, or null.
  std::shared_ptr<WaveDevice> Find(UINT_PTR handle, Direction direction);

 private:
  struct Slot {
    UINT_PTR handle = 0;
    bool reserved = false;
    std::shared_ptr<WaveDevice> device;
  };
  Slot& SlotFor(Direction direction) { return slots_[direction == Direction::kInput ? 0 : 1]; }

  std::mutex mutex_;
  Slot slots_[2];
  UINT_PTR serial_ = 0;
};

WaveHandles& OpenWaveDevices();

}  // namespace murmel::audio
