#include "tools/murmelpost_send/voice_import.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "audio/voice_codec.h"
#include "audio/voice_store.h"
#include "sound_file.h"
#include "state/app_state.h"
#include "support/temp_dir.h"

namespace {

using murmel::send_tool::ImportVoiceFile;
using murmel::test::TempDir;
using tools_test::kWav16;
using tools_test::Tone;
using tools_test::WriteSound;

// Every chunk of the store, decoded back to 8 kHz PCM.
std::vector<std::int16_t> DecodeStore() {
  std::vector<std::int16_t> pcm;
  for (const VoiceNode* node = appState.voiceHead->next; node != appState.voiceTail;
       node = node->next) {
    std::vector<std::int16_t> buffer(PCM_BUFFER_SIZE / 2);
    DecodeVoiceBuffer(node->chunk, reinterpret_cast<BYTE*>(buffer.data()), PCM_BUFFER_SIZE);
    pcm.insert(pcm.end(), buffer.begin(), buffer.end());
  }
  return pcm;
}

// Amplitude of the `hz` component (Goertzel) over samples [from, to).
double ToneLevel(const std::vector<std::int16_t>& pcm, double hz, std::size_t from,
                 std::size_t to) {
  const double w = 2 * std::numbers::pi * hz / 8000;
  double s1 = 0, s2 = 0;
  for (std::size_t i = from; i < to; ++i) {
    const double s0 = pcm[i] + 2 * std::cos(w) * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  const double power = s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2;
  return 2 * std::sqrt(power) / static_cast<double>(to - from) / 32768.0;
}

class VoiceImportTest : public testing::Test {
 protected:
  void TearDown() override {
    FreeVoiceStore();
    appState.recordingAvailable = 0;
    appState.recordedBytes = 0;
  }
  TempDir dir_;
};

TEST_F(VoiceImportTest, EightKilohertzMonoIsEncodedAsTheRecorderWould) {
  // Two whole capture buffers and 100 samples: the third chunk is padded with silence.
  std::vector<std::int16_t> source(2 * 2560 + 100);
  for (std::size_t i = 0; i < source.size(); ++i) {
    source[i] = static_cast<std::int16_t>(12000 * std::sin(0.3 * static_cast<double>(i)) +
                                          static_cast<double>(i % 7) * 300);
  }
  const std::string path = dir_ / "exact.wav";
  WriteSound(path, kWav16, 8000, 1, source);

  const auto result = ImportVoiceFile(path);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.chunks, 3);
  EXPECT_FALSE(result.truncated);
  EXPECT_EQ(appState.voiceChunkCount, 3);
  EXPECT_EQ(appState.recordedBytes, 3u * PCM_BUFFER_SIZE);
  EXPECT_EQ(appState.recordingAvailable, 1);

  // Same samples, same chunk boundaries, zeros after the end: the bytes a recording of
  // this sound would hold.
  std::vector<std::int16_t> padded(source);
  padded.resize(std::size_t{3} * 2560, 0);
  const VoiceNode* node = appState.voiceHead->next;
  for (std::size_t chunk = 0; chunk < 3; ++chunk, node = node->next) {
    BYTE expected[VOICE_CHUNK_SIZE]{};
    EncodeVoiceBuffer(expected, reinterpret_cast<const BYTE*>(padded.data() + chunk * 2560),
                      PCM_BUFFER_SIZE);
    EXPECT_EQ(std::memcmp(node->chunk, expected, VOICE_CHUNK_SIZE), 0) << "chunk " << chunk;
  }
}

TEST_F(VoiceImportTest, OtherRatesChannelsAndFormatsAreConverted) {
  struct Case {
    const char* name;
    int format;
    int rate;
    std::vector<float> sign;  // per channel
    double expectedLevel;     // of the 1 kHz tone after the mix-down
  };
  const Case cases[] = {
      {"cd.wav", kWav16, 44100, {1, 1}, 0.5},
      {"speech.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 22050, {1}, 0.5},
      {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, {1, 0, 0, 1}, 0.25},
      // Opposite channels cancel: a converter that keeps only the first channel fails here.
      {"opposed.wav", kWav16, 16000, {1, -1}, 0.0},
  };
  for (const Case& c : cases) {
    const std::string path = dir_ / c.name;
    WriteSound(path, c.format, c.rate, static_cast<int>(c.sign.size()),
               Tone(1000, c.rate, 1.0, c.sign));
    const auto result = ImportVoiceFile(path);
    ASSERT_TRUE(result.ok) << c.name << ": " << result.error;
    // 8000 samples fill three buffers and part of a fourth.
    EXPECT_EQ(result.chunks, 4) << c.name;
    const auto decoded = DecodeStore();
    // Away from the edges, where the resampler's filter starts and stops.
    const double level = ToneLevel(decoded, 1000, 800, 7200);
    EXPECT_NEAR(level, c.expectedLevel, 0.08) << c.name;
    EXPECT_LT(ToneLevel(decoded, 2000, 800, 7200), 0.05)
        << c.name << ": a wrong rate moves the tone";
  }
}

TEST_F(VoiceImportTest, StopsAtSixtyFourSecondsAndSaysSoOnlyWhenLonger) {
  struct Case {
    double seconds;
    bool truncated;
  };
  for (const Case c : {Case{64.0, false}, Case{64.5, true}, Case{63.9, false}}) {
    const std::string path = dir_ / "long.wav";
    WriteSound(path, kWav16, 8000, 1, Tone(440, 8000, c.seconds));
    const auto result = ImportVoiceFile(path);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.chunks, 200) << c.seconds;
    EXPECT_EQ(result.truncated, c.truncated) << c.seconds;
    EXPECT_EQ(appState.recordedBytes, 1024000u);
  }
  // The same limit after resampling.
  const std::string path = dir_ / "long44.wav";
  WriteSound(path, kWav16, 44100, 1, Tone(440, 44100, 70));
  const auto result = ImportVoiceFile(path);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.chunks, 200);
  EXPECT_TRUE(result.truncated);
}

TEST_F(VoiceImportTest, UnreadableInputLeavesNoRecording) {
  const std::string text = dir_ / "notes.txt";
  std::ofstream(text) << "this is not audio\n";
  for (const std::string& path : {text, dir_ / "missing.wav", dir_.path()}) {
    const auto result = ImportVoiceFile(path);
    EXPECT_FALSE(result.ok) << path;
    EXPECT_NE(result.error.find(path), std::string::npos) << result.error;
    EXPECT_EQ(appState.recordingAvailable, 0);
    EXPECT_EQ(appState.voiceHead, nullptr);
  }
}

}  // namespace
