// The voice as MP3: GSM 06.10 in WAV plays in almost no browser or phone, MP3 in all.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace murmel::server {

// What the e-mail carries: MP3, the client's GSM as a WAV (which few players take), or both.
enum class VoiceFormat { Mp3, Wav, Both };

struct VoiceMp3 {
  std::vector<std::uint8_t> bytes;
  double seconds = 0;  // the recording's length, which players show
};

// Decodes the image's GSM blocks as the client encoded them and encodes them as mono MP3.
// nullopt when the image is not one VoiceImageToWav takes, holds no sound, or LAME fails.
std::optional<VoiceMp3> VoiceImageToMp3(std::span<const std::uint8_t> image);

}  // namespace murmel::server
