#include "audio/voice_codec.h"

#include <gsm.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

// Working storage of the codec. Per thread, so that decoding for playback can never
// share a state with a compression thread.
struct VoiceCodec {
  gsm state = nullptr;
  gsm_signal frames[GSM_BLOCK_SAMPLES];
  gsm_byte block[GSM_BLOCK_SIZE];
};

thread_local VoiceCodec codec;

constexpr std::size_t BLOCK_PCM_BYTES = std::size_t{GSM_BLOCK_SAMPLES} * 2;

// Blocks covered by pcmBytes, rounded up, never more than one chunk holds.
std::size_t BlockCount(int pcmBytes) {
  const int blocks = (pcmBytes / 2 + GSM_BLOCK_SAMPLES - 1) / GSM_BLOCK_SAMPLES;
  return static_cast<std::size_t>(std::clamp(blocks, 0, GSM_BLOCKS_PER_CHUNK));
}

}  // namespace

int OpenVoiceCodec() {
  codec.state = gsm_create();
  if (codec.state == nullptr) return -1;
  int wav49 = 1;
  gsm_option(codec.state, GSM_OPT_WAV49, &wav49);
  return 0;
}

void CloseVoiceCodec() {
  if (codec.state != nullptr) gsm_destroy(codec.state);
  codec.state = nullptr;
}

int EncodeVoiceBuffer(BYTE* chunk, const BYTE* pcm, int pcmBytes) {
  // A fresh state per buffer: the chunk bytes depend on the frame pairing and the
  // prediction memory restarting at every chunk.
  if (OpenVoiceCodec() != 0) return 1;
  const std::size_t blocks = BlockCount(pcmBytes);
  for (std::size_t i = 0; i < blocks; ++i) {
    std::memcpy(codec.frames, pcm + i * BLOCK_PCM_BYTES, BLOCK_PCM_BYTES);
    // The first frame writes 32 bytes and keeps half a byte for the second.
    gsm_encode(codec.state, codec.frames, codec.block);
    gsm_encode(codec.state, codec.frames + GSM_FRAME_SAMPLES,
               codec.block + GSM_SECOND_FRAME_ENCODE_OFFSET);
    std::memcpy(chunk + i * GSM_BLOCK_SIZE, codec.block, GSM_BLOCK_SIZE);
  }
  CloseVoiceCodec();
  return 1;
}

int DecodeVoiceBuffer(const BYTE* chunk, BYTE* pcm, int pcmBytes) {
  if (OpenVoiceCodec() != 0) return 1;
  const std::size_t blocks = BlockCount(pcmBytes);
  for (std::size_t i = 0; i < blocks; ++i) {
    std::memcpy(codec.block, chunk + i * GSM_BLOCK_SIZE, GSM_BLOCK_SIZE);
    if (gsm_decode(codec.state, codec.block, codec.frames) < 0) break;
    // Reading the second frame from byte 32 also "succeeds", but yields noise.
    if (gsm_decode(codec.state, codec.block + GSM_SECOND_FRAME_DECODE_OFFSET,
                   codec.frames + GSM_FRAME_SAMPLES) < 0) {
      break;
    }
    std::memcpy(pcm + i * BLOCK_PCM_BYTES, codec.frames, BLOCK_PCM_BYTES);
  }
  CloseVoiceCodec();
  return 1;
}
