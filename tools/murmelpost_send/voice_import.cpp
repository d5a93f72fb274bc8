#include "tools/murmelpost_send/voice_import.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "audio/recording_engine.h"
#include "audio/voice_codec.h"
#include "audio/voice_store.h"
#include "state/app_state.h"
#include "tools/murmelpost_send/audio_conversion.h"

namespace murmel::send_tool {
namespace {

constexpr std::size_t BUFFER_SAMPLES = PCM_BUFFER_SIZE / 2;
constexpr int MAX_CHUNKS = static_cast<int>(MAX_RECORD_BYTES / PCM_BUFFER_SIZE);
constexpr double MAX_SECONDS = static_cast<double>(MAX_RECORD_BYTES) / 2 / VOICE_SAMPLE_RATE;

// Collects samples into capture-sized buffers and compresses each full one into the store,
// as the compression thread does with the buffers the wave device returns.
class ChunkWriter {
 public:
  void Add(std::span<const std::int16_t> samples) {
    while (!samples.empty() && chunks_ < MAX_CHUNKS) {
      const std::size_t take = std::min(samples.size(), BUFFER_SAMPLES - filled_);
      std::copy_n(samples.begin(), take, buffer_.begin() + static_cast<long>(filled_));
      filled_ += take;
      samples = samples.subspan(take);
      if (filled_ == BUFFER_SAMPLES) Flush();
    }
  }

  // The recorder always hands over whole buffers: pad the last one with silence.
  void Finish() {
    if (filled_ == 0 || chunks_ >= MAX_CHUNKS) return;
    std::fill(buffer_.begin() + static_cast<long>(filled_), buffer_.end(), std::int16_t{0});
    Flush();
  }

  int chunks() const { return chunks_; }
  bool failed() const { return failed_; }

 private:
  void Flush() {
    BYTE pcm[PCM_BUFFER_SIZE];
    // The codec reads little-endian bytes, the host's order here.
    std::memcpy(pcm, buffer_.data(), sizeof pcm);
    BYTE chunk[VOICE_CHUNK_SIZE]{};
    EncodeVoiceBuffer(chunk, pcm, PCM_BUFFER_SIZE);
    if (AppendVoiceChunk(chunk) == 1) {
      ++chunks_;
    } else {
      failed_ = true;
    }
    filled_ = 0;
  }

  std::array<std::int16_t, BUFFER_SAMPLES> buffer_{};
  std::size_t filled_ = 0;
  int chunks_ = 0;
  bool failed_ = false;
};

static_assert(PCM_BUFFER_SIZE == BUFFER_SAMPLES * sizeof(std::int16_t));

}  // namespace

VoiceImport ImportVoiceFile(const std::string& path) {
  VoiceImport result;
  appState.recordingAvailable = 0;
  appState.recordedBytes = 0;
  if (InitVoiceStore() != 0) {
    result.error = "out of memory for the voice";
    return result;
  }
  ChunkWriter writer;
  const ConversionResult converted = ConvertToVoicePcm(
      path, MAX_SECONDS, [&writer](std::span<const std::int16_t> samples) { writer.Add(samples); });
  if (!converted.ok) {
    FreeVoiceStore();
    result.error = converted.error;
    return result;
  }
  writer.Finish();
  if (writer.failed()) {
    FreeVoiceStore();
    result.error = "out of memory for the voice";
    return result;
  }
  result.ok = true;
  result.chunks = writer.chunks();
  result.truncated = converted.truncated;
  appState.recordedBytes = static_cast<DWORD>(appState.voiceChunkCount) * PCM_BUFFER_SIZE;
  appState.recordingAvailable = 1;
  return result;
}

}  // namespace murmel::send_tool
