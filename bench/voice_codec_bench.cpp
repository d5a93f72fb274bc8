// GSM coding speed against the pace of speech: each buffer is 0.32 s of audio, so the
// "x_realtime" counter says how many times faster than real time a core codes.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <random>

#include "audio/voice_codec.h"

namespace {

constexpr double SECONDS_PER_BUFFER = PCM_BUFFER_SIZE / 16000.0;  // 16000 bytes a second

// Voice-like input: two tones with noise, so the codec does its usual work.
std::array<BYTE, PCM_BUFFER_SIZE> SpeechLikeBuffer() {
  std::array<BYTE, PCM_BUFFER_SIZE> pcm{};
  std::mt19937 random(42);
  std::normal_distribution<double> noise(0, 600);
  for (std::size_t i = 0; i < PCM_BUFFER_SIZE / 2; ++i) {
    const double t = static_cast<double>(i) / 8000.0;
    const double value = 6000 * std::sin(2 * std::numbers::pi * 220 * t) +
                         2500 * std::sin(2 * std::numbers::pi * 1150 * t) + noise(random);
    const auto sample = static_cast<std::int16_t>(value);
    std::memcpy(pcm.data() + 2 * i, &sample, 2);
  }
  return pcm;
}

// One buffer encoded, or one chunk decoded, per iteration.
void BM_VoiceBuffer(benchmark::State& state, bool decode) {
  auto pcm = SpeechLikeBuffer();
  std::array<BYTE, VOICE_CHUNK_SIZE> chunk{};
  EncodeVoiceBuffer(chunk.data(), pcm.data(), PCM_BUFFER_SIZE);
  for (auto _ : state) {
    if (decode) {
      DecodeVoiceBuffer(chunk.data(), pcm.data(), PCM_BUFFER_SIZE);
    } else {
      EncodeVoiceBuffer(chunk.data(), pcm.data(), PCM_BUFFER_SIZE);
    }
    benchmark::DoNotOptimize(decode ? pcm.data() : chunk.data());
    benchmark::ClobberMemory();
  }
  state.counters["x_realtime"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * SECONDS_PER_BUFFER, benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(BM_VoiceBuffer, Encode, false);
BENCHMARK_CAPTURE(BM_VoiceBuffer, Decode, true);

}  // namespace

BENCHMARK_MAIN();
