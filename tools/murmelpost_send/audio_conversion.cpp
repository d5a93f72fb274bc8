#include "tools/murmelpost_send/audio_conversion.h"

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace murmel::send_tool {
namespace {

struct SndFileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndFilePtr = std::unique_ptr<SNDFILE, SndFileCloser>;

struct SoxrDeleter {
  void operator()(soxr* resampler) const { soxr_delete(resampler); }
};
using SoxrPtr = std::unique_ptr<soxr, SoxrDeleter>;

constexpr std::size_t BLOCK_FRAMES = 4096;

// libsndfile normalises 16-bit PCM to s / 32768; the inverse keeps such sources exact.
std::int16_t ToSample(float value) {
  const float scaled = std::nearbyint(value * 32768.0F);
  return static_cast<std::int16_t>(std::clamp(scaled, -32768.0F, 32767.0F));
}

class Converter {
 public:
  Converter(double inputRate, const std::function<void(std::span<const std::int16_t>)>& sink)
      : sink_(sink) {
    if (inputRate == VOICE_SAMPLE_RATE) return;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t error = nullptr;
    resampler_.reset(soxr_create(inputRate, VOICE_SAMPLE_RATE, 1, &error, &io, &quality, nullptr));
    if (error != nullptr) error_ = error;
  }

  const std::string& error() const { return error_; }

  // mono is consumed; an empty span flushes the resampler.
  void Push(std::span<const float> mono) {
    if (!resampler_) {
      Emit(mono);
      return;
    }
    const bool flushing = mono.empty();
    std::size_t offset = 0;
    for (;;) {
      std::size_t consumed = 0;
      std::size_t produced = 0;
      const float* input = flushing ? nullptr : mono.data() + offset;
      const std::size_t inputLength = flushing ? 0 : mono.size() - offset;
      const soxr_error_t error = soxr_process(resampler_.get(), input, inputLength, &consumed,
                                              output_.data(), output_.size(), &produced);
      if (error != nullptr) {
        error_ = error;
        return;
      }
      Emit({output_.data(), produced});
      offset += consumed;
      if (flushing ? produced == 0 : offset >= mono.size() && produced < output_.size()) return;
    }
  }

 private:
  void Emit(std::span<const float> mono) {
    samples_.resize(mono.size());
    std::transform(mono.begin(), mono.end(), samples_.begin(), ToSample);
    if (!samples_.empty()) sink_(samples_);
  }

  const std::function<void(std::span<const std::int16_t>)>& sink_;
  SoxrPtr resampler_;
  std::string error_;
  std::vector<float> output_ = std::vector<float>(BLOCK_FRAMES);
  std::vector<std::int16_t> samples_;
};

}  // namespace

ConversionResult ConvertToVoicePcm(const std::string& path, double maxSeconds,
                                   const std::function<void(std::span<const std::int16_t>)>& sink) {
  ConversionResult result;
  SF_INFO info{};
  SndFilePtr file(sf_open(path.c_str(), SFM_READ, &info));
  if (!file) {
    result.error = "cannot read the audio file '" + path + "': " + sf_strerror(nullptr);
    return result;
  }
  if (info.channels < 1 || info.samplerate < 1) {
    result.error = "the audio file '" + path + "' has no channels or no sample rate";
    return result;
  }
  result.sourceSeconds = static_cast<double>(info.frames) / info.samplerate;

  Converter converter(info.samplerate, sink);
  if (!converter.error().empty()) {
    result.error = "cannot resample '" + path + "': " + converter.error();
    return result;
  }
  const auto channels = static_cast<std::size_t>(info.channels);
  const auto limit = static_cast<sf_count_t>(std::floor(maxSeconds * info.samplerate));
  std::vector<float> interleaved(BLOCK_FRAMES * channels);
  std::vector<float> mono(BLOCK_FRAMES);
  sf_count_t framesRead = 0;
  while (framesRead < limit) {
    const sf_count_t wanted = std::min<sf_count_t>(BLOCK_FRAMES, limit - framesRead);
    const sf_count_t got = sf_readf_float(file.get(), interleaved.data(), wanted);
    if (got <= 0) break;
    mono.resize(static_cast<std::size_t>(got));
    for (std::size_t frame = 0; frame < mono.size(); ++frame) {
      float sum = 0;
      for (std::size_t channel = 0; channel < channels; ++channel) {
        sum += interleaved[frame * channels + channel];
      }
      mono[frame] = sum / static_cast<float>(channels);
    }
    converter.Push(mono);
    framesRead += got;
  }
  if (sf_error(file.get()) != SF_ERR_NO_ERROR) {
    result.error = "reading '" + path + "' failed: " + sf_strerror(file.get());
    return result;
  }
  if (framesRead >= limit) {
    // One more frame tells whether the source goes on (the frame count may be unknown).
    std::vector<float> probe(channels);
    result.truncated = sf_readf_float(file.get(), probe.data(), 1) > 0;
  }
  converter.Push({});
  if (!converter.error().empty()) {
    result.error = "cannot resample '" + path + "': " + converter.error();
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace murmel::send_tool
