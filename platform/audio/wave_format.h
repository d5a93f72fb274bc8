// PCM format checks and position conversions shared by every backend.
#pragma once

#include <cstdint>

#include "mmsystem.h"

namespace murmel::audio {

// WAVERR_BADFORMAT unless this is consistent linear PCM (8 or 16 bits, 1 or 2 channels).
MMRESULT CheckPcmFormat(const WAVEFORMATEX& format);

// Fills `time` with `bytes` in the unit it asks for; an unsupported unit becomes TIME_BYTES,
// as the platform does.
void FillPosition(const WAVEFORMATEX& format, std::uint64_t bytes, MMTIME& time);

}  // namespace murmel::audio
