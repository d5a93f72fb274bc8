// The client sends its voice as a WAV image whose header numbers are big-endian. Players
// and sox want a standard RIFF file, so the header is rebuilt little-endian around the
// GSM 06.10 blocks, which stay as they are.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace murmel::server {

// nullopt when the image is not a format-49 mono 8 kHz WAV with the 60-byte header.
// The data size follows the bytes actually received, cut to whole 65-byte blocks.
std::optional<std::vector<std::uint8_t>> VoiceImageToWav(std::span<const std::uint8_t> image);

// How long the voice in an image of imageSize bytes plays, in milliseconds: 40 ms for
// every whole 65-byte block. header holds the image's first bytes (60 suffice), so the
// length is known without reading the voice itself. nullopt when the header is not one
// VoiceImageToWav takes.
std::optional<std::uint32_t> VoiceImageMilliseconds(std::span<const std::uint8_t> header,
                                                    std::uint64_t imageSize);
// The image's whole 65-byte GSM blocks (WAV49 layout, the encoder restarting every 520
// bytes); nullopt for any image that VoiceImageToWav refuses.
std::optional<std::span<const std::uint8_t>> VoiceImageBlocks(std::span<const std::uint8_t> image);

}  // namespace murmel::server
