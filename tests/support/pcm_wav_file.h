// Writes an 8 kHz, mono, 16-bit PCM WAV file of `seconds`, each sample from `signal`
// (time in seconds to a value in the 16-bit range): what the file audio device captures.
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <string>

namespace murmel::test {

inline void WritePcmWav(const std::string& path, double seconds,
                        const std::function<double(double)>& signal) {
  const auto samples = static_cast<std::uint32_t>(seconds * 8000);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const auto put = [&out](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
  };
  out.write("RIFF", 4);
  put(36 + samples * 2, 4);
  out.write("WAVEfmt ", 8);
  put(16, 4);
  put(1, 2);      // PCM
  put(1, 2);      // mono
  put(8000, 4);   // samples per second
  put(16000, 4);  // bytes per second
  put(2, 2);      // block size
  put(16, 2);     // bits per sample
  out.write("data", 4);
  put(samples * 2, 4);
  for (std::uint32_t i = 0; i < samples; ++i) {
    put(static_cast<std::uint16_t>(static_cast<std::int16_t>(signal(i / 8000.0))), 2);
  }
}

}  // namespace murmel::test
