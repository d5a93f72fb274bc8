// Another GSM implementation must read our chunks and write the same ones.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>

#include "audio/test_signals.h"
#include "audio/voice_codec.h"
#include "support/kernel_test_files.h"
#include "support/temp_dir.h"

namespace {

using murmel::test::ReadHostFile;
using murmel::test::WriteHostFile;

std::string Le(std::uint32_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
  return out;
}

template <typename Bytes>
std::string AsString(const Bytes& bytes) {
  return {bytes.begin(), bytes.end()};
}

// One chunk as a little-endian GSM WAV file (format 49), the layout players expect; the
// client's own header is big-endian by design.
std::string StandardGsmWav(const Chunk& chunk) {
  const std::string body =
      "WAVEfmt " + Le(20, 4) + Le(49, 2) + Le(1, 2) + Le(8000, 4) + Le(1625, 4) +
      Le(GSM_BLOCK_SIZE, 2) + Le(0, 2) + Le(2, 2) + Le(GSM_BLOCK_SAMPLES, 2) + "fact" + Le(4, 4) +
      Le(SAMPLES_PER_BUFFER, 4) + "data" + Le(VOICE_CHUNK_SIZE, 4) + AsString(chunk);
  return "RIFF" + Le(static_cast<std::uint32_t>(body.size()), 4) + body;
}

TEST(SoxInteropTest, SoxDecodesOurChunksToOurSamplesAndEncodesTheSameChunks) {
  if (std::system("sox --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "sox not installed";
  const murmel::test::TempDir dir;
  const auto sox = [](const std::string& in, const std::string& out) {
    return std::system(("sox " + in + " " + out + " 2>&1").c_str());
  };
  const std::string raw = "-t raw -r 8000 -e signed-integer -b 16 -c 1 ";
  // Our decoder restarts at every chunk while a player runs one state through a whole file,
  // so each chunk is a file of its own.
  const std::pair<const char*, PcmBuffer> signals[] = {{"tone", Tone(440, 8000)},
                                                       {"high tone", Tone(1800, 12000, 99)}};
  for (const auto& [name, signal] : signals) {
    SCOPED_TRACE(name);
    Chunk chunk{};
    EncodeVoiceBuffer(chunk.data(), signal.data(), PCM_BUFFER_SIZE);
    PcmBuffer ours{};
    DecodeVoiceBuffer(chunk.data(), ours.data(), PCM_BUFFER_SIZE);

    WriteHostFile(dir / "ours.wav", StandardGsmWav(chunk));
    ASSERT_EQ(sox(dir / "ours.wav", raw + (dir / "decoded.raw")), 0);
    EXPECT_EQ(ReadHostFile(dir / "decoded.raw"), AsString(ours));

    WriteHostFile(dir / "signal.raw", AsString(signal));
    ASSERT_EQ(sox(raw + (dir / "signal.raw"), "-t wav -e gsm-full-rate " + (dir / "theirs.wav")),
              0);
    const std::string theirs = ReadHostFile(dir / "theirs.wav");
    const std::size_t data = theirs.find("data");
    ASSERT_NE(data, std::string::npos);
    EXPECT_EQ(theirs.substr(data + 8, VOICE_CHUNK_SIZE), AsString(chunk));
  }
}

}  // namespace
