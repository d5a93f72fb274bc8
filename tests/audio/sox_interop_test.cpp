// Another GSM implementation must read our chunks and write the same ones.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "audio/gsm_wav_file.h"
#include "audio/test_signals.h"
#include "audio/voice_codec.h"
#include "support/kernel_test_files.h"
#include "support/temp_dir.h"

namespace {

using murmel::test::ReadHostFile;
using murmel::test::WriteHostFile;

class SoxInteropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("sox --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "sox not installed";
  }
  std::string Path(const char* name) const { return dir_ / name; }
  // Runs sox as a user would; 0 when it succeeded.
  static int Sox(const std::string& arguments) {
    return std::system(("sox " + arguments + " 2>&1").c_str());
  }
  static int DecodeToRaw(const std::string& wav, const std::string& raw) {
    return Sox(wav + " -t raw -e signed-integer -b 16 " + raw);
  }
  static std::vector<std::uint8_t> Read(const std::string& path) {
    const std::string bytes = ReadHostFile(path);
    return {bytes.begin(), bytes.end()};
  }
  static void Write(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    WriteHostFile(path, {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
  }

  murmel::test::TempDir dir_;
};

TEST_F(SoxInteropTest, SoxDecodesEachOfOurChunksToTheSameSamples) {
  // Our decoder restarts at every chunk; a player runs one state through a whole file, so
  // each chunk goes into a file of its own to be compared sample for sample.
  const PcmBuffer signals[] = {Tone(440, 8000), Noise(7, 6000), Tone(1800, 12000, 99)};
  int index = 0;
  for (const PcmBuffer& signal : signals) {
    SCOPED_TRACE(index);
    Chunk chunk{};
    EncodeVoiceBuffer(chunk.data(), signal.data(), PCM_BUFFER_SIZE);
    PcmBuffer ours{};
    DecodeVoiceBuffer(chunk.data(), ours.data(), PCM_BUFFER_SIZE);

    Write(Path("voice.wav"), StandardGsmWav({chunk.begin(), chunk.end()}));
    ASSERT_EQ(DecodeToRaw(Path("voice.wav"), Path("voice.raw")), 0);
    const std::vector<std::uint8_t> theirs = Read(Path("voice.raw"));
    EXPECT_TRUE(std::equal(ours.begin(), ours.end(), theirs.begin(), theirs.end()));
    ++index;
  }
}

TEST_F(SoxInteropTest, SoxPlaysAWholeRecordingOfSeveralChunks) {
  std::vector<std::uint8_t> blocks;
  PcmBuffer firstDecoded{};
  for (int i = 0; i < 4; ++i) {
    const PcmBuffer signal = Tone(300 + 200 * i, 7000, i * SAMPLES_PER_BUFFER);
    Chunk chunk{};
    EncodeVoiceBuffer(chunk.data(), signal.data(), PCM_BUFFER_SIZE);
    if (i == 0) DecodeVoiceBuffer(chunk.data(), firstDecoded.data(), PCM_BUFFER_SIZE);
    blocks.insert(blocks.end(), chunk.begin(), chunk.end());
  }
  Write(Path("message.wav"), StandardGsmWav(blocks));
  ASSERT_EQ(DecodeToRaw(Path("message.wav"), Path("message.raw")), 0);
  const std::vector<std::uint8_t> theirs = Read(Path("message.raw"));
  ASSERT_EQ(theirs.size(), 4 * std::size_t{PCM_BUFFER_SIZE});
  // Both start from a fresh state, so the first chunk agrees exactly.
  EXPECT_TRUE(std::equal(firstDecoded.begin(), firstDecoded.end(), theirs.begin()));
}

TEST_F(SoxInteropTest, SoxEncoderWritesTheSameChunkBytes) {
  const PcmBuffer speech = Tone(523, 9000);
  Write(Path("speech.raw"), {speech.begin(), speech.end()});
  ASSERT_EQ(Sox("-t raw -r 8000 -e signed-integer -b 16 -c 1 " + Path("speech.raw") +
                " -t wav -e gsm-full-rate " + Path("speech.wav")),
            0);
  const std::vector<std::uint8_t> soxBlocks = WavDataChunk(Read(Path("speech.wav")));
  ASSERT_GE(soxBlocks.size(), std::size_t{VOICE_CHUNK_SIZE});

  Chunk ours{};
  EncodeVoiceBuffer(ours.data(), speech.data(), PCM_BUFFER_SIZE);
  EXPECT_TRUE(std::equal(ours.begin(), ours.end(), soxBlocks.begin()));
}

}  // namespace
