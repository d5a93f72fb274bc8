#include "server/voice_mp3.h"

#include <lame/lame.h>

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>

#include "audio/voice_codec.h"
#include "server/voice_wav.h"

namespace murmel::server {
namespace {

constexpr int kInputRate = 8000;
// 16 kHz holds all that 8 kHz GSM carries; a higher rate only spreads the same bits thinner.
constexpr int kOutputRate = 16000;
constexpr int kKilobitsPerSecond = 24;  // the average; speech comes to about 29
// LAME's 0 (best) to 9 (fastest): 2 came out no closer to the GSM than 5.
constexpr int kQuality = 5;
// LAME's own bound for one call's output: 1.25 times the samples plus 7200 bytes.
constexpr std::size_t kOutputBound =
    (std::size_t{PCM_BUFFER_SIZE} / 2 * kOutputRate / kInputRate) * 5 / 4 + 7200;

struct LameClose {
  void operator()(lame_global_flags* flags) const { lame_close(flags); }
};
using Lame = std::unique_ptr<lame_global_flags, LameClose>;

Lame OpenEncoder() {
  // lame_init_params fills LAME's static tables unguarded: two composers must not race.
  static std::mutex initialising;
  const std::lock_guard lock(initialising);
  Lame lame(lame_init());
  if (!lame) return nullptr;
  lame_set_in_samplerate(lame.get(), kInputRate);
  lame_set_out_samplerate(lame.get(), kOutputRate);
  lame_set_num_channels(lame.get(), 1);
  lame_set_mode(lame.get(), MONO);
  // Average, not constant, bit rate: a constant 24 kbit/s frame is too small for the
  // Info tag that tells players the encoder's delay, and they would count it as sound.
  lame_set_VBR(lame.get(), vbr_abr);
  lame_set_VBR_mean_bitrate_kbps(lame.get(), kKilobitsPerSecond);
  lame_set_bWriteVbrTag(lame.get(), 1);
  lame_set_quality(lame.get(), kQuality);
  if (lame_init_params(lame.get()) < 0) return nullptr;
  return lame;
}

}  // namespace

std::optional<VoiceMp3> VoiceImageToMp3(std::span<const std::uint8_t> image) {
  const auto blocks = VoiceImageBlocks(image);
  if (!blocks || blocks->empty()) return std::nullopt;
  const Lame lame = OpenEncoder();
  if (!lame) return std::nullopt;

  VoiceMp3 mp3;
  const std::size_t samples = blocks->size() / GSM_BLOCK_SIZE * GSM_BLOCK_SAMPLES;
  mp3.seconds = static_cast<double>(samples) / kInputRate;
  std::vector<unsigned char> out(kOutputBound);
  auto append = [&](int written) {
    if (written < 0) return false;
    mp3.bytes.insert(mp3.bytes.end(), out.begin(), out.begin() + written);
    return true;
  };
  // One chunk at a time, as the client encoded it: a long voice never sits in memory as
  // PCM, ten times its size.
  std::array<short, PCM_BUFFER_SIZE / 2> pcm{};
  for (std::size_t at = 0; at < blocks->size(); at += VOICE_CHUNK_SIZE) {
    const std::size_t chunk = std::min<std::size_t>(VOICE_CHUNK_SIZE, blocks->size() - at);
    const int chunkSamples = static_cast<int>(chunk / GSM_BLOCK_SIZE * GSM_BLOCK_SAMPLES);
    pcm.fill(0);
    DecodeVoiceBuffer(blocks->data() + at, reinterpret_cast<BYTE*>(pcm.data()), chunkSamples * 2);
    if (!append(lame_encode_buffer(lame.get(), pcm.data(), nullptr, chunkSamples, out.data(),
                                   static_cast<int>(out.size())))) {
      return std::nullopt;
    }
  }
  if (!append(lame_encode_flush(lame.get(), out.data(), static_cast<int>(out.size())))) {
    return std::nullopt;
  }
  // The first frame is an Info tag written before the length was known; its final form
  // tells decoders the encoder's delay and padding, so browsers show the true length.
  const std::size_t tag = lame_get_lametag_frame(lame.get(), out.data(), out.size());
  if (tag > 0 && tag <= out.size() && tag <= mp3.bytes.size()) {
    std::copy_n(out.begin(), tag, mp3.bytes.begin());
  }
  return mp3;
}

}  // namespace murmel::server
