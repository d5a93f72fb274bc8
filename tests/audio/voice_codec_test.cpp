#include "audio/voice_codec.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>

#include "audio/test_signals.h"

namespace {

Chunk Encode(const PcmBuffer& pcm) {
  Chunk chunk{};
  EXPECT_EQ(EncodeVoiceBuffer(chunk.data(), pcm.data(), PCM_BUFFER_SIZE), 1);
  return chunk;
}

PcmBuffer Decode(const Chunk& chunk) {
  PcmBuffer pcm{};
  EXPECT_EQ(DecodeVoiceBuffer(chunk.data(), pcm.data(), PCM_BUFFER_SIZE), 1);
  return pcm;
}

TEST(VoiceCodecTest, DecodedSoundKeepsItsShapeInBothFramesOfEveryBlock) {
  // A wrong offset for either frame of a block still "succeeds" but gives noise, so
  // judge the audio of each frame position separately.
  for (const auto& [hertz, amplitude] :
       {std::pair{440.0, 8000.0}, {1000.0, 12000.0}, {250.0, 3000.0}}) {
    SCOPED_TRACE(hertz);
    const PcmBuffer tone = Tone(hertz, amplitude);
    const PcmBuffer decoded = Decode(Encode(tone));
    EXPECT_GT(SnrDb(tone, decoded, GSM_BLOCK_SAMPLES, 0, GSM_FRAME_SAMPLES), 8.0);
    EXPECT_GT(SnrDb(tone, decoded, GSM_BLOCK_SAMPLES, GSM_FRAME_SAMPLES, GSM_BLOCK_SAMPLES), 8.0);
  }
  const PcmBuffer silence = Decode(Encode(PcmBuffer{}));
  for (int i = 0; i < SAMPLES_PER_BUFFER; ++i) ASSERT_LE(std::abs(SampleAt(silence, i)), 16) << i;
}

}  // namespace
