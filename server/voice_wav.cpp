#include "server/voice_wav.h"

#include <cstring>
#include <string_view>

#include "server/big_endian.h"

namespace murmel::server {
namespace {

constexpr std::size_t kImageHeaderSize = 60;
constexpr std::uint16_t kFormatGsm610 = 49;
constexpr std::uint32_t kSampleRate = 8000;
constexpr std::uint32_t kBlockSize = 65;
constexpr std::uint32_t kSamplesPerBlock = 320;
constexpr std::uint32_t kAverageBytesPerSecond = 1625;

bool IdAt(const std::uint8_t* p, std::string_view id) { return std::memcmp(p, id.data(), 4) == 0; }

void Id(std::vector<std::uint8_t>& out, std::string_view id) {
  out.insert(out.end(), id.begin(), id.end());
}
void Little32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
}
void Little16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

bool IsVoiceImageHeader(std::span<const std::uint8_t> image) {
  if (image.size() < kImageHeaderSize) return false;
  const std::uint8_t* h = image.data();
  return IdAt(h, "RIFF") && IdAt(h + 8, "WAVE") && IdAt(h + 12, "fmt ") &&
         BigEndian32(h + 16) == 20 && BigEndian16(h + 20) == kFormatGsm610 &&
         BigEndian16(h + 22) == 1 && BigEndian32(h + 24) == kSampleRate &&
         BigEndian16(h + 32) == kBlockSize && IdAt(h + 40, "fact") && IdAt(h + 52, "data");
}

}  // namespace

std::optional<std::uint32_t> VoiceImageMilliseconds(std::span<const std::uint8_t> header,
                                                    std::uint64_t imageSize) {
  if (!IsVoiceImageHeader(header) || imageSize < kImageHeaderSize) return std::nullopt;
  const std::uint64_t blocks = (imageSize - kImageHeaderSize) / kBlockSize;
  return static_cast<std::uint32_t>(blocks * kSamplesPerBlock * 1000 / kSampleRate);
}

std::optional<std::span<const std::uint8_t>> VoiceImageBlocks(std::span<const std::uint8_t> image) {
  if (!IsVoiceImageHeader(image)) return std::nullopt;
  const std::size_t blocks = (image.size() - kImageHeaderSize) / kBlockSize;
  return image.subspan(kImageHeaderSize, blocks * kBlockSize);
}

std::optional<std::vector<std::uint8_t>> VoiceImageToWav(std::span<const std::uint8_t> image) {
  const auto data = VoiceImageBlocks(image);
  if (!data) return std::nullopt;
  const auto dataSize = static_cast<std::uint32_t>(data->size());
  const std::uint32_t blocks = dataSize / kBlockSize;
  const std::uint32_t padded = dataSize + (dataSize & 1);

  std::vector<std::uint8_t> wav;
  wav.reserve(kImageHeaderSize + padded);
  Id(wav, "RIFF");
  Little32(wav, padded + 52);
  Id(wav, "WAVE");
  Id(wav, "fmt ");
  Little32(wav, 20);
  Little16(wav, kFormatGsm610);
  Little16(wav, 1);
  Little32(wav, kSampleRate);
  Little32(wav, kAverageBytesPerSecond);
  Little16(wav, kBlockSize);
  Little16(wav, 0);
  Little16(wav, 2);
  Little16(wav, kSamplesPerBlock);
  Id(wav, "fact");
  Little32(wav, 4);
  Little32(wav, blocks * kSamplesPerBlock);
  Id(wav, "data");
  Little32(wav, dataSize);
  wav.insert(wav.end(), data->begin(), data->end());
  if (dataSize & 1) wav.push_back(0);  // RIFF pads odd chunks; the client never does
  return wav;
}

}  // namespace murmel::server
