// Another GSM implementation must read our chunks and write the same ones.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/gsm_wav_file.h"
#include "audio/test_signals.h"
#include "audio/voice_codec.h"

namespace {

class SoxInteropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("sox --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "sox not installed";
    std::string pattern = (std::filesystem::temp_directory_path() / "sox-interop-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  std::string Path(const char* name) const { return (dir_ / name).string(); }

  // Runs sox as a user would; 0 when it succeeded.
  static int Sox(const std::string& arguments) {
    std::string command = "sox ";
    command += arguments;
    command += " 2>&1";
    return std::system(command.c_str());
  }
  static int DecodeToRaw(const std::string& wavPath, const std::string& rawPath) {
    std::string arguments = wavPath;
    arguments += " -t raw -e signed-integer -b 16 ";
    arguments += rawPath;
    return Sox(arguments);
  }
  static int EncodeGsmWav(const std::string& rawPath, const std::string& wavPath) {
    std::string arguments = "-t raw -r 8000 -e signed-integer -b 16 -c 1 ";
    arguments += rawPath;
    arguments += " -t wav -e gsm-full-rate ";
    arguments += wavPath;
    return Sox(arguments);
  }

  std::filesystem::path dir_;
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

    const std::string wavPath = Path("voice.wav");
    const std::string rawPath = Path("voice.raw");
    const std::vector<std::uint8_t> wav =
        StandardGsmWav(std::vector<std::uint8_t>(chunk.begin(), chunk.end()));
    WriteWholeFile(wavPath, wav.data(), wav.size());
    ASSERT_EQ(DecodeToRaw(wavPath, rawPath), 0);
    const std::vector<std::uint8_t> theirs = ReadWholeFile(rawPath);
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
  const std::vector<std::uint8_t> wav = StandardGsmWav(blocks);
  WriteWholeFile(Path("message.wav"), wav.data(), wav.size());
  ASSERT_EQ(DecodeToRaw(Path("message.wav"), Path("message.raw")), 0);
  const std::vector<std::uint8_t> theirs = ReadWholeFile(Path("message.raw"));
  ASSERT_EQ(theirs.size(), 4 * std::size_t{PCM_BUFFER_SIZE});
  // Both start from a fresh state, so the first chunk agrees exactly.
  EXPECT_TRUE(std::equal(firstDecoded.begin(), firstDecoded.end(), theirs.begin()));
}

TEST_F(SoxInteropTest, SoxEncoderWritesTheSameChunkBytes) {
  const PcmBuffer speech = Tone(523, 9000);
  WriteWholeFile(Path("speech.raw"), speech.data(), speech.size());
  ASSERT_EQ(EncodeGsmWav(Path("speech.raw"), Path("speech.wav")), 0);
  const std::vector<std::uint8_t> soxBlocks = WavDataChunk(ReadWholeFile(Path("speech.wav")));
  ASSERT_GE(soxBlocks.size(), std::size_t{VOICE_CHUNK_SIZE});

  Chunk ours{};
  EncodeVoiceBuffer(ours.data(), speech.data(), PCM_BUFFER_SIZE);
  EXPECT_TRUE(std::equal(ours.begin(), ours.end(), soxBlocks.begin()));
}

}  // namespace
