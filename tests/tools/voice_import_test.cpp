#include "tools/murmelpost_send/voice_import.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "audio/voice_codec.h"
#include "audio/voice_store.h"
#include "state/app_state.h"
#include "support/pcm_wav_file.h"
#include "support/temp_dir.h"

namespace {

using murmel::send_tool::ImportVoiceFile;

constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

// A tone of `hz` at half scale, through libsndfile as other programs write sound files;
// channel c carries it multiplied by sign[c].
void WriteTone(const std::string& path, int format, int rate, double seconds, double hz = 440,
               const std::vector<float>& sign = {1}) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = static_cast<int>(sign.size());
  info.format = format;
  std::vector<float> samples;
  for (int i = 0; i < static_cast<int>(seconds * rate); ++i) {
    const auto value = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * hz * i / rate));
    for (float s : sign) samples.push_back(s * value);
  }
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size() / sign.size()));
  sf_close(file);
}

// Amplitude of the `hz` component (Goertzel) of the store decoded back to 8 kHz, over
// samples [800, 7200): away from the edges where the resampler's filter starts and stops.
double ToneLevel(double hz) {
  std::vector<std::int16_t> pcm(std::size_t{3} * PCM_BUFFER_SIZE / 2);  // 7680 samples
  const VoiceNode* node = appState.voiceHead->next;
  for (std::size_t at = 0; at < pcm.size(); at += PCM_BUFFER_SIZE / 2, node = node->next) {
    DecodeVoiceBuffer(node->chunk, reinterpret_cast<BYTE*>(&pcm[at]), PCM_BUFFER_SIZE);
  }
  const double w = 2 * std::numbers::pi * hz / 8000;
  double s1 = 0, s2 = 0;
  for (std::size_t i = 800; i < 7200; ++i) {
    const double s0 = pcm[i] + 2 * std::cos(w) * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  const double power = s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2;
  return 2 * std::sqrt(power) / 6400 / 32768.0;
}

class VoiceImportTest : public testing::Test {
 protected:
  void TearDown() override {
    FreeVoiceStore();
    appState.recordingAvailable = 0;
    appState.recordedBytes = 0;
  }
  murmel::test::TempDir dir_;
};

TEST_F(VoiceImportTest, EightKilohertzMonoIsEncodedAsTheRecorderWould) {
  // Two whole capture buffers and 380 samples: the third chunk is padded with silence.
  const auto signal = [](double t) {
    const double i = std::round(t * 8000);
    return 12000 * std::sin(0.3 * i) + std::fmod(i, 7) * 300;
  };
  const std::string path = dir_ / "exact.wav";
  murmel::test::WritePcmWav(path, 0.6875, signal);

  const auto result = ImportVoiceFile(path);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.chunks, 3);
  EXPECT_FALSE(result.truncated);
  EXPECT_EQ(appState.recordingAvailable, 1);

  // Same samples, same chunk boundaries, zeros after the end: the bytes a recording of
  // this sound would hold.
  std::vector<std::int16_t> padded(std::size_t{3} * 2560, 0);
  for (std::size_t i = 0; i < 5500; ++i) {
    padded[i] = static_cast<std::int16_t>(signal(static_cast<double>(i) / 8000));
  }
  const VoiceNode* node = appState.voiceHead->next;
  for (std::size_t chunk = 0; chunk < 3; ++chunk, node = node->next) {
    BYTE expected[VOICE_CHUNK_SIZE]{};
    EncodeVoiceBuffer(expected, reinterpret_cast<const BYTE*>(padded.data() + chunk * 2560),
                      PCM_BUFFER_SIZE);
    EXPECT_EQ(std::memcmp(node->chunk, expected, VOICE_CHUNK_SIZE), 0) << "chunk " << chunk;
  }
}

TEST_F(VoiceImportTest, OtherRatesChannelsAndFormatsAreConverted) {
  const struct {
    const char* name;
    int format;
    int rate;
    std::vector<float> sign;  // per channel
    double expectedLevel;     // of the 1 kHz tone after the mix-down
  } cases[] = {
      {"cd.wav", kWav16, 44100, {1, 1}, 0.5},
      {"speech.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 22050, {1}, 0.5},
      {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, {1, 0, 0, 1}, 0.25},
      // Opposite channels cancel: a converter that keeps only the first channel fails here.
      {"opposed.wav", kWav16, 16000, {1, -1}, 0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_ / c.name;
    WriteTone(path, c.format, c.rate, 1.0, 1000, c.sign);
    const auto result = ImportVoiceFile(path);
    ASSERT_TRUE(result.ok) << result.error;
    // 8000 samples fill three buffers and part of a fourth.
    EXPECT_EQ(result.chunks, 4);
    EXPECT_NEAR(ToneLevel(1000), c.expectedLevel, 0.08);
    EXPECT_LT(ToneLevel(2000), 0.05) << "a wrong rate moves the tone";
  }
}

TEST_F(VoiceImportTest, StopsAtSixtyFourSecondsAndSaysSoOnlyWhenLonger) {
  struct Case {
    int rate;
    double seconds;
    bool truncated;
  };
  // The last one: the same limit after resampling.
  for (const Case c : {Case{8000, 64.0, false}, Case{8000, 64.5, true}, Case{44100, 70, true}}) {
    SCOPED_TRACE(c.seconds);
    const std::string path = dir_ / "long.wav";
    WriteTone(path, kWav16, c.rate, c.seconds);
    const auto result = ImportVoiceFile(path);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.chunks, 200);
    EXPECT_EQ(result.truncated, c.truncated);
    EXPECT_EQ(appState.recordedBytes, 1024000u);
  }
}

}  // namespace
