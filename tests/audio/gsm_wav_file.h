// Standard little-endian WAV files of GSM 06.10 (format 49) for talking to other tools.
// The client's own header is big-endian by design; common players expect this one.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "state/voice_units.h"

inline void AppendLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline void AppendId(std::vector<std::uint8_t>& out, const char* id) {
  // Byte by byte: g++ 12 warns falsely on a range insert into an empty vector.
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(id[i]));
}

// Wraps whole voice chunks (blocks of 65 bytes) as a RIFF WAVE file.
inline std::vector<std::uint8_t> StandardGsmWav(const std::vector<std::uint8_t>& blocks) {
  const auto dataSize = static_cast<std::uint32_t>(blocks.size());
  const std::uint32_t samples = dataSize / GSM_BLOCK_SIZE * GSM_BLOCK_SAMPLES;
  std::vector<std::uint8_t> wav;
  AppendId(wav, "RIFF");
  AppendLe(wav, 4 + 28 + 12 + 8 + ((dataSize + 1) & ~1u), 4);
  AppendId(wav, "WAVE");
  AppendId(wav, "fmt ");
  AppendLe(wav, 20, 4);
  AppendLe(wav, 49, 2);
  AppendLe(wav, 1, 2);
  AppendLe(wav, 8000, 4);
  AppendLe(wav, 1625, 4);
  AppendLe(wav, GSM_BLOCK_SIZE, 2);
  AppendLe(wav, 0, 2);
  AppendLe(wav, 2, 2);
  AppendLe(wav, GSM_BLOCK_SAMPLES, 2);
  AppendId(wav, "fact");
  AppendLe(wav, 4, 4);
  AppendLe(wav, samples, 4);
  AppendId(wav, "data");
  AppendLe(wav, dataSize, 4);
  wav.insert(wav.end(), blocks.begin(), blocks.end());
  if (dataSize % 2 != 0) wav.push_back(0);
  return wav;
}

// The payload of the "data" chunk of a RIFF WAVE file; empty when there is none.
inline std::vector<std::uint8_t> WavDataChunk(const std::vector<std::uint8_t>& wav) {
  auto le32 = [&wav](std::size_t at) {
    return std::uint32_t{wav[at]} | std::uint32_t{wav[at + 1]} << 8 |
           std::uint32_t{wav[at + 2]} << 16 | std::uint32_t{wav[at + 3]} << 24;
  };
  std::size_t at = 12;
  while (at + 8 <= wav.size()) {
    const std::uint32_t size = le32(at + 4);
    if (std::memcmp(wav.data() + at, "data", 4) == 0) {
      const std::size_t end = std::min(wav.size(), at + 8 + std::size_t{size});
      return {wav.data() + at + 8, wav.data() + end};
    }
    at += 8 + size + (size & 1);
  }
  return {};
}
