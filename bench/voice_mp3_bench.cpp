// The e-mail's MP3 from one minute of the client's GSM voice: the time per iteration is
// the composer's CPU time per minute of voice, "mp3_bytes" the size per minute, beside the
// GSM WAV that it replaces (97,500 bytes a minute) built from the same image.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "audio/voice_codec.h"
#include "audio/wav_header.h"
#include "server/voice_mp3.h"
#include "server/voice_wav.h"

namespace {

constexpr int kSeconds = 60;
constexpr std::size_t kBufferSamples = PCM_BUFFER_SIZE / 2;

// A minute of espeak-ng speech, encoded as the client does; empty when it cannot speak.
std::vector<std::uint8_t> SpokenMinute() {
  std::vector<std::int16_t> speech;
  FILE* pipe = ::popen(
      "espeak-ng --stdout 'Murmelpost delivers voice messages by e-mail. The quick brown fox "
      "jumps over the lazy dog, twelve times a day.' | sox -t wav - -r 8000 -c 1 -t s16 -",
      "r");
  if (pipe == nullptr) return {};
  std::int16_t sample = 0;
  while (std::fread(&sample, 2, 1, pipe) == 1) speech.push_back(sample);
  ::pclose(pipe);
  if (speech.empty()) return {};
  std::vector<std::int16_t> pcm;
  while (pcm.size() < std::size_t{kSeconds} * 8000)
    pcm.insert(pcm.end(), speech.begin(), speech.end());
  pcm.resize(std::size_t{kSeconds} * 8000 / kBufferSamples * kBufferSamples);

  std::vector<std::uint8_t> image(WAV_HEADER_SIZE);
  WriteWavHeader(image.data(), static_cast<LONG>(pcm.size() * 2));
  for (std::size_t at = 0; at < pcm.size(); at += kBufferSamples) {
    BYTE chunk[VOICE_CHUNK_SIZE];
    EncodeVoiceBuffer(chunk, reinterpret_cast<const BYTE*>(&pcm[at]), PCM_BUFFER_SIZE);
    image.insert(image.end(), chunk, chunk + VOICE_CHUNK_SIZE);
  }
  return image;
}

const std::vector<std::uint8_t>& Minute() {
  static const std::vector<std::uint8_t> image = SpokenMinute();
  return image;
}

// The MP3's size, or the GSM WAV's that it replaces (a header rewrite and a copy); 0 on failure.
std::size_t Mp3Bytes(const std::vector<std::uint8_t>& image) {
  const auto mp3 = murmel::server::VoiceImageToMp3(image);
  return mp3 ? mp3->bytes.size() : 0;
}
std::size_t WavBytes(const std::vector<std::uint8_t>& image) {
  const auto wav = murmel::server::VoiceImageToWav(image);
  return wav ? wav->size() : 0;
}

void BM_VoiceMinute(benchmark::State& state,
                    std::size_t (*convert)(const std::vector<std::uint8_t>&), const char* counter) {
  if (Minute().empty()) {
    state.SkipWithError("espeak-ng and sox made no speech");
    return;
  }
  std::size_t bytes = 0;
  for (auto _ : state) {
    bytes = convert(Minute());
    benchmark::DoNotOptimize(bytes);
  }
  state.counters[counter] = static_cast<double>(bytes);
  state.counters["x_realtime"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kSeconds, benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(BM_VoiceMinute, ToMp3, Mp3Bytes, "mp3_bytes")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_VoiceMinute, ToWav, WavBytes, "wav_bytes")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
