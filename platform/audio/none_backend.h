// No audio devices: the program runs and reports that it found no recording device.
#pragma once

#include "platform/audio/wave_stream.h"

namespace murmel::audio {

class NoneBackend : public WaveBackend {
 public:
  UINT DeviceCount(Direction) override { return 0; }
  MMRESULT Supports(Direction, const WAVEFORMATEX&) override { return MMSYSERR_NODRIVER; }
  MMRESULT OpenStream(Direction, WaveDevice&, std::unique_ptr<WaveStream>&) override {
    return MMSYSERR_NODRIVER;
  }
};

}  // namespace murmel::audio
