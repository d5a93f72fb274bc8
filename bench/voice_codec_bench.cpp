// Voice coding speed against the pace of speech ("x_realtime": how many times faster than
// real time a core codes): GSM encoding and decoding of one 0.32 s buffer, as the client
// records and plays, and the server's e-mail voice from one minute of the client's GSM
// speech, as MP3 ("mp3_bytes" its size per minute; the GSM WAV it replaces holds 97,300).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "audio/voice_codec.h"
#include "audio/wav_header.h"
#include "server/voice_mp3.h"

namespace {

constexpr double SECONDS_PER_BUFFER = PCM_BUFFER_SIZE / 16000.0;  // 16000 bytes a second
constexpr std::size_t kSeconds = 60;
constexpr std::size_t kBufferSamples = PCM_BUFFER_SIZE / 2;

void CountRealTime(benchmark::State& state, double seconds_per_iteration) {
  state.counters["x_realtime"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * seconds_per_iteration, benchmark::Counter::kIsRate);
}

// A minute of espeak-ng speech at 8 kHz, in whole capture buffers; empty when it cannot speak.
const std::vector<std::int16_t>& SpokenMinute() {
  static const std::vector<std::int16_t> pcm = [] {
    std::vector<std::int16_t> speech;
    FILE* pipe = ::popen(
        "espeak-ng --stdout 'Murmelpost delivers voice messages by e-mail. The quick brown fox "
        "jumps over the lazy dog, twelve times a day.' | sox -t wav - -r 8000 -c 1 -t s16 -",
        "r");
    std::int16_t sample = 0;
    while (pipe != nullptr && std::fread(&sample, 2, 1, pipe) == 1) speech.push_back(sample);
    if (pipe != nullptr) ::pclose(pipe);
    std::vector<std::int16_t> minute;
    while (!speech.empty() && minute.size() < kSeconds * 8000)
      minute.insert(minute.end(), speech.begin(), speech.end());
    minute.resize(std::min(minute.size(), kSeconds * 8000 / kBufferSamples * kBufferSamples));
    return minute;
  }();
  return pcm;
}

bool Speechless(benchmark::State& state) {
  if (!SpokenMinute().empty()) return false;
  state.SkipWithError("espeak-ng and sox made no speech");
  return true;
}

// One buffer of speech encoded, or one chunk decoded, per iteration.
void BM_VoiceBuffer(benchmark::State& state, bool decode) {
  if (Speechless(state)) return;
  std::array<BYTE, PCM_BUFFER_SIZE> pcm{};
  std::memcpy(pcm.data(), SpokenMinute().data(), PCM_BUFFER_SIZE);
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
  CountRealTime(state, SECONDS_PER_BUFFER);
}
BENCHMARK_CAPTURE(BM_VoiceBuffer, Encode, false);
BENCHMARK_CAPTURE(BM_VoiceBuffer, Decode, true);

// The minute as the client's voice image.
std::vector<std::uint8_t> VoiceImage() {
  const std::vector<std::int16_t>& pcm = SpokenMinute();
  std::vector<std::uint8_t> image(WAV_HEADER_SIZE);
  WriteWavHeader(image.data(), static_cast<LONG>(pcm.size() * 2));
  for (std::size_t at = 0; at < pcm.size(); at += kBufferSamples) {
    BYTE chunk[VOICE_CHUNK_SIZE];
    EncodeVoiceBuffer(chunk, reinterpret_cast<const BYTE*>(&pcm[at]), PCM_BUFFER_SIZE);
    image.insert(image.end(), chunk, chunk + VOICE_CHUNK_SIZE);
  }
  return image;
}

void BM_VoiceMinuteToMp3(benchmark::State& state) {
  static const std::vector<std::uint8_t> minute = VoiceImage();
  if (Speechless(state)) return;
  std::size_t bytes = 0;
  for (auto _ : state) {
    const auto mp3 = murmel::server::VoiceImageToMp3(minute);
    bytes = mp3 ? mp3->bytes.size() : 0;
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["mp3_bytes"] = static_cast<double>(bytes);
  CountRealTime(state, static_cast<double>(kSeconds));
}
BENCHMARK(BM_VoiceMinuteToMp3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
