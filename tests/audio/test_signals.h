// Test speech stand-ins: tones as little-endian 16-bit PCM buffers.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>

#include "state/voice_units.h"

using PcmBuffer = std::array<std::uint8_t, PCM_BUFFER_SIZE>;
using Chunk = std::array<std::uint8_t, VOICE_CHUNK_SIZE>;
constexpr int SAMPLES_PER_BUFFER = PCM_BUFFER_SIZE / 2;

inline std::int16_t SampleAt(const PcmBuffer& pcm, int index) {
  std::int16_t sample = 0;
  std::memcpy(&sample, pcm.data() + 2 * static_cast<std::size_t>(index), 2);
  return sample;
}

inline void SetSample(PcmBuffer& pcm, int index, std::int16_t sample) {
  std::memcpy(pcm.data() + 2 * static_cast<std::size_t>(index), &sample, 2);
}

// A tone at 8 kHz sampling; firstSample continues the phase across buffers.
inline PcmBuffer Tone(double hertz, double amplitude, int firstSample = 0) {
  PcmBuffer pcm{};
  for (int i = 0; i < SAMPLES_PER_BUFFER; ++i) {
    const double t = (firstSample + i) / 8000.0;
    SetSample(pcm, i,
              static_cast<std::int16_t>(amplitude * std::sin(2 * std::numbers::pi * hertz * t)));
  }
  return pcm;
}

// Signal-to-noise ratio in dB of decoded against original, over the samples i with
// first <= i % period < last (to judge each frame position of a block on its own).
inline double SnrDb(const PcmBuffer& original, const PcmBuffer& decoded, int period, int first,
                    int last) {
  double signal = 0;
  double noise = 0;
  for (int i = 0; i < SAMPLES_PER_BUFFER; ++i) {
    if (i % period < first || i % period >= last) continue;
    const double s = SampleAt(original, i);
    const double d = SampleAt(decoded, i) - s;
    signal += s * s;
    noise += d * d;
  }
  return 10 * std::log10(signal / (noise + 1e-9));
}
