// Any audio file that libsndfile reads, delivered as the recorder's format: 8 kHz, mono,
// signed 16-bit samples.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace murmel::send_tool {

constexpr int VOICE_SAMPLE_RATE = 8000;

struct ConversionResult {
  bool ok = false;
  std::string error;       // says which file and why, when !ok
  bool truncated = false;  // the source went on past maxSeconds
  double sourceSeconds = 0;
};

// Feeds the converted samples to sink in blocks, in order. Channels are averaged; other
// rates go through soxr (high quality); 8 kHz sources pass unchanged. Only the first
// maxSeconds of the source are converted.
ConversionResult ConvertToVoicePcm(const std::string& path, double maxSeconds,
                                   const std::function<void(std::span<const std::int16_t>)>& sink);

}  // namespace murmel::send_tool
