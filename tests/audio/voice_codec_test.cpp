#include "audio/voice_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <thread>
#include <utility>
#include <vector>

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

TEST(VoiceCodecTest, EveryBufferIsCodedFromAFreshState) {
  // The bytes depend on the restart: a state carried over from the buffers in between
  // would change them.
  const PcmBuffer speech = Tone(440, 6000);
  const Chunk first = Encode(speech);
  const PcmBuffer alone = Decode(first);
  Decode(Encode(Noise(1, 12000)));
  Encode(Tone(1300, 9000, 123));
  EXPECT_EQ(Encode(speech), first);
  EXPECT_EQ(Decode(first), alone);
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

TEST(VoiceCodecTest, ALengthCodesOnlyItsBlocksAndNeverMoreThanOneChunk) {
  const PcmBuffer tone = Tone(700, 9000);
  const Chunk full = Encode(tone);
  const std::pair<int, std::ptrdiff_t> cases[] = {
      {640, 1}, {1280, 2}, {0, 0}, {2 * PCM_BUFFER_SIZE, GSM_BLOCKS_PER_CHUNK}};
  for (const auto& [pcmBytes, blocks] : cases) {
    SCOPED_TRACE(pcmBytes);
    // Blocks coded from a fresh state match the start of the full chunk; nothing past them
    // is written.
    std::vector<BYTE> chunk(std::size_t{2} * VOICE_CHUNK_SIZE, 0xEE);
    EncodeVoiceBuffer(chunk.data(), tone.data(), pcmBytes);
    const auto coded = chunk.begin() + blocks * GSM_BLOCK_SIZE;
    EXPECT_TRUE(std::equal(chunk.begin(), coded, full.begin()));
    EXPECT_EQ(std::count(coded, chunk.end(), 0xEE), chunk.end() - coded);

    std::vector<BYTE> pcm(std::size_t{2} * PCM_BUFFER_SIZE, 0xEE);
    DecodeVoiceBuffer(full.data(), pcm.data(), pcmBytes);
    const auto written = pcm.begin() + blocks * GSM_BLOCK_SAMPLES * 2;
    EXPECT_EQ(std::count(written, pcm.end(), 0xEE), pcm.end() - written);
  }
}

TEST(VoiceCodecTest, ConcurrentEncodeAndDecodeGiveTheSameBytesAsAlone) {
  // Playback decodes on the window thread while no compression thread runs, but the
  // codec's storage must not be shared even if they overlap.
  const PcmBuffer tone = Tone(440, 6000);
  const Chunk chunk = Encode(tone);
  const PcmBuffer pcm = Decode(chunk);
  int encodeMismatches = 0;
  int decodeMismatches = 0;
  std::thread encoder([&] {
    for (int i = 0; i < 200; ++i) encodeMismatches += Encode(tone) != chunk;
  });
  for (int i = 0; i < 200; ++i) decodeMismatches += Decode(chunk) != pcm;
  encoder.join();
  EXPECT_EQ(encodeMismatches + decodeMismatches, 0);
}

}  // namespace
