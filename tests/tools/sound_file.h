// Sound files written through libsndfile, the way other programs make the files users pass
// to murmelpost-send.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

namespace tools_test {

// Interleaved samples: 16-bit integers written as they are, floats (-1..1) converted.
template <typename Sample>
void WriteSound(const std::string& path, int format, int rate, int channels,
                const std::vector<Sample>& interleaved) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  const auto frames = static_cast<sf_count_t>(interleaved.size()) / channels;
  if constexpr (std::is_same_v<Sample, float>) {
    sf_writef_float(file, interleaved.data(), frames);
  } else {
    sf_writef_short(file, interleaved.data(), frames);
  }
  sf_close(file);
}

// A tone of `hz` at half scale on every channel, multiplied by sign[channel].
inline std::vector<float> Tone(double hz, int rate, double seconds,
                               const std::vector<float>& sign = {1}) {
  const auto frames = static_cast<std::size_t>(seconds * rate);
  std::vector<float> samples;
  for (std::size_t i = 0; i < frames; ++i) {
    const auto value = static_cast<float>(
        0.5 * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / rate));
    for (float s : sign) samples.push_back(s * value);
  }
  return samples;
}

inline constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

}  // namespace tools_test
