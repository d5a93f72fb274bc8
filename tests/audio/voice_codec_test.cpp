#include "audio/voice_codec.h"

#include <gtest/gtest.h>

#include <thread>

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

TEST(VoiceCodecTest, DecodedToneKeepsItsShapeInBothFramesOfEveryBlock) {
  // A wrong offset for either frame of a block still "succeeds" but gives noise, so
  // judge the audio of each frame position separately.
  struct Case {
    double hertz;
    double amplitude;
  };
  for (const Case c : {Case{440, 8000}, Case{1000, 12000}, Case{250, 3000}}) {
    SCOPED_TRACE(c.hertz);
    const PcmBuffer tone = Tone(c.hertz, c.amplitude);
    const PcmBuffer decoded = Decode(Encode(tone));
    EXPECT_GT(SnrDb(tone, decoded, GSM_BLOCK_SAMPLES, 0, GSM_FRAME_SAMPLES), 8.0);
    EXPECT_GT(SnrDb(tone, decoded, GSM_BLOCK_SAMPLES, GSM_FRAME_SAMPLES, GSM_BLOCK_SAMPLES), 8.0);
  }
}

TEST(VoiceCodecTest, ChunkOfSilenceDecodesToNearSilence) {
  const PcmBuffer decoded = Decode(Encode(PcmBuffer{}));
  for (int i = 0; i < SAMPLES_PER_BUFFER; ++i) ASSERT_LE(std::abs(SampleAt(decoded, i)), 16) << i;
}

TEST(VoiceCodecTest, ShorterLengthsCodeOnlyTheirBlocks) {
  struct Case {
    int pcmBytes;
    int blocks;
  };
  const PcmBuffer tone = Tone(700, 9000);
  const Chunk full = Encode(tone);
  for (const Case c : {Case{640, 1}, Case{1280, 2}, Case{0, 0}}) {
    SCOPED_TRACE(c.pcmBytes);
    Chunk chunk;
    chunk.fill(0xEE);
    EncodeVoiceBuffer(chunk.data(), tone.data(), c.pcmBytes);
    const int coded = c.blocks * GSM_BLOCK_SIZE;
    // Blocks coded from a fresh state match the start of the full chunk.
    EXPECT_TRUE(std::equal(chunk.begin(), chunk.begin() + coded, full.begin()));
    EXPECT_TRUE(std::all_of(chunk.begin() + coded, chunk.end(), [](auto b) { return b == 0xEE; }));

    PcmBuffer pcm;
    pcm.fill(0xEE);
    DecodeVoiceBuffer(full.data(), pcm.data(), c.pcmBytes);
    const int written = c.blocks * GSM_BLOCK_SAMPLES * 2;
    EXPECT_TRUE(std::all_of(pcm.begin() + written, pcm.end(), [](auto b) { return b == 0xEE; }));
  }
}

TEST(VoiceCodecTest, LengthsBeyondOneBufferStayInsideTheChunk) {
  // Encoding more than 8 blocks would write past the 520-byte chunk.
  std::array<BYTE, VOICE_CHUNK_SIZE + 65> chunk;
  chunk.fill(0xEE);
  const PcmBuffer tone = Tone(700, 9000);
  EncodeVoiceBuffer(chunk.data(), tone.data(), 2 * PCM_BUFFER_SIZE);
  EXPECT_TRUE(
      std::all_of(chunk.begin() + VOICE_CHUNK_SIZE, chunk.end(), [](auto b) { return b == 0xEE; }));
}

TEST(VoiceCodecTest, ConcurrentEncodeAndDecodeGiveTheSameBytesAsAlone) {
  // Playback decodes on the window thread while no compression thread runs, but the
  // codec's storage must not be shared even if they overlap.
  const PcmBuffer tone = Tone(440, 6000);
  const Chunk expectedChunk = Encode(tone);
  const PcmBuffer expectedPcm = Decode(expectedChunk);
  int encodeMismatches = 0;
  int decodeMismatches = 0;
  std::thread encoder([&] {
    for (int i = 0; i < 200; ++i) encodeMismatches += Encode(tone) != expectedChunk;
  });
  std::thread decoder([&] {
    for (int i = 0; i < 200; ++i) decodeMismatches += Decode(expectedChunk) != expectedPcm;
  });
  encoder.join();
  decoder.join();
  EXPECT_EQ(encodeMismatches, 0);
  EXPECT_EQ(decodeMismatches, 0);
}

}  // namespace
