// The PulseAudio devices against a real server: a tone played through waveOut into a null
// sink comes back through waveIn from its monitor at the level and pitch it was played.
#include <mmsystem.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pulse_daemon.h"
#include "support/scoped_env.h"
#include "wave_test_helpers.h"

namespace {

using namespace wave_test;

// Silence before the tone: a null sink's monitor delivers nothing while the sink is idle and
// drops the first 20 ms after it wakes, so the sink must be running when the tone starts.
// None after it: the output is reset and closed at the last MM_WOM_DONE, as the player does,
// so a buffer reported done before it was heard would lose its end.
constexpr int kLeadBuffers = 2;
constexpr int kToneBuffers = 10;  // 3.2 s
constexpr int kTotalBuffers = kLeadBuffers + kToneBuffers;
constexpr int kSamplesPerBuffer = kBufferSize / 2;

// 1 kHz at 8 kHz is exactly 8 samples a period, so every buffer holds whole periods.
std::vector<BYTE> ToneBuffer() {
  std::vector<std::int16_t> samples(kSamplesPerBuffer);
  for (int i = 0; i < kSamplesPerBuffer; ++i) {
    samples[i] = static_cast<std::int16_t>(std::lround(0.5 * 32767 * std::sin(M_PI * i / 4)));
  }
  std::vector<BYTE> bytes(kBufferSize);
  std::memcpy(bytes.data(), samples.data(), bytes.size());
  return bytes;
}

using PulseLoopbackTest = WaveDeviceTest;

TEST_F(PulseLoopbackTest, ToneThroughNullSinkComesBackWholeAtItsLevelAndFrequency) {
  PulseDaemon daemon;
  std::string why;
  if (!daemon.Start(why)) GTEST_SKIP() << "no private PulseAudio daemon: " << why;
  murmel::test::ScopedEnv server("PULSE_SERVER", daemon.server());
  UseAudio("pulse");
  ASSERT_EQ(waveInGetNumDevs(), 1u);
  ASSERT_EQ(waveOutGetNumDevs(), 1u);

  // Both devices keep two of three buffers queued, as the recorder and the player do.
  HWAVEIN wave_in = nullptr;
  ASSERT_EQ(Open(&wave_in, kVoiceFormat, Callback()), MMSYSERR_NOERROR);
  Buffer in_ring[3];
  int in_next = 0;
  PrepareAll(wave_in, {&in_ring[0], &in_ring[1], &in_ring[2]});
  auto requeue_input = [&] {
    ASSERT_EQ(Queue(wave_in, in_ring[in_next]), 0u);
    in_next = (in_next + 2) % 3;
  };
  requeue_input();
  requeue_input();
  ASSERT_EQ(waveInStart(wave_in), MMSYSERR_NOERROR);
  HWAVEOUT wave_out = nullptr;
  ASSERT_EQ(Open(&wave_out, kVoiceFormat, Callback()), MMSYSERR_NOERROR);
  Buffer out_ring[3];
  int written = 0;
  auto write_next = [&] {
    Buffer& b = out_ring[written * 2 % 3];
    b.Fill(written >= kLeadBuffers ? ToneBuffer() : std::vector<BYTE>(kBufferSize, 0));
    b.header.dwFlags = WHDR_PREPARED;  // the player's way of clearing the done flag
    ASSERT_EQ(Queue(wave_out, b), 0u);
    ++written;
  };
  PrepareAll(wave_out, {&out_ring[0], &out_ring[1], &out_ring[2]});
  for (int i = 0; i < 3; ++i) write_next();

  // One loop serves both devices, as the main window's procedure does.
  std::vector<std::int16_t> samples;
  int played = 0;
  int captured_after_tone = 0;
  bool output_closed = false;
  MSG msg;
  while (captured_after_tone < 3) {
    ASSERT_TRUE(NextMessage(msg)) << "a device stopped notifying";
    if (msg.message == MM_WOM_DONE && ++played == kTotalBuffers) {
      EXPECT_EQ(Position(wave_out), kTotalBuffers * kBufferSize) << "every byte was heard";
      ASSERT_EQ(waveOutReset(wave_out), MMSYSERR_NOERROR);
      UnprepareAll(wave_out, {&out_ring[0], &out_ring[1], &out_ring[2]});
      ASSERT_EQ(waveOutClose(wave_out), MMSYSERR_NOERROR);
    } else if (msg.message == MM_WOM_DONE && written < kTotalBuffers) {
      write_next();
    } else if (msg.message == MM_WOM_CLOSE) {
      output_closed = true;
    } else if (msg.message == MM_WIM_DATA) {
      const auto* header = reinterpret_cast<const WAVEHDR*>(msg.lParam);
      ASSERT_EQ(header->dwBytesRecorded, kBufferSize);
      const auto* data = reinterpret_cast<const std::int16_t*>(header->lpData);
      samples.insert(samples.end(), data, data + kSamplesPerBuffer);
      requeue_input();
      captured_after_tone += output_closed ? 1 : 0;
    }
  }
  ASSERT_EQ(waveInReset(wave_in), MMSYSERR_NOERROR);
  UnprepareAll(wave_in, {&in_ring[0], &in_ring[1], &in_ring[2]});
  ASSERT_EQ(waveInClose(wave_in), MMSYSERR_NOERROR);

  // Where the tone is: from the first to the last sample clearly above silence.
  constexpr int kSilence = 1000;
  std::size_t first = 0;
  while (first < samples.size() && std::abs(samples[first]) < kSilence) ++first;
  std::size_t last = samples.size();
  while (last > first && std::abs(samples[last - 1]) < kSilence) --last;
  // Exactly the samples played: nothing lost, nothing doubled (the first and last sample of
  // the tone are its zero crossings).
  const std::size_t length = last - first;
  EXPECT_GE(length, static_cast<std::size_t>(kToneBuffers * kSamplesPerBuffer - 2));
  EXPECT_LE(length, static_cast<std::size_t>(kToneBuffers * kSamplesPerBuffer));

  // No gap inside: a 1 kHz tone never has three quiet samples in a row.
  int quiet_run = 0;
  int longest_quiet_run = 0;
  double sum_squares = 0;
  int rising_crossings = 0;
  for (std::size_t i = first; i < last; ++i) {
    quiet_run = std::abs(samples[i]) < kSilence ? quiet_run + 1 : 0;
    longest_quiet_run = std::max(longest_quiet_run, quiet_run);
    sum_squares += static_cast<double>(samples[i]) * samples[i];
    if (i > first && samples[i - 1] < 0 && samples[i] >= 0) ++rising_crossings;
  }
  EXPECT_LT(longest_quiet_run, 3) << "a gap in the tone: an under-run";
  EXPECT_NEAR(std::sqrt(sum_squares / static_cast<double>(length)) / 32768.0, 0.3535, 0.0035);
  // One rising zero crossing per period: frequency from counted samples, not from seconds.
  EXPECT_NEAR(rising_crossings * 8000.0 / static_cast<double>(length), 1000.0, 5.0);
}

TEST_F(PulseLoopbackTest, NoServerMeansNoDeviceAtOnce) {
  // A fresh process: no connection from another test can stand in for the missing server.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("PULSE_SERVER", ("unix:" + (dir_ / "nothing-here")).c_str(), 1);
        setenv("MURMELPOST_AUDIO", "pulse", 1);
        const bool none = waveInGetNumDevs() == 0 && waveOutGetNumDevs() == 0;
        HWAVEIN wave_in = nullptr;
        const MMRESULT open = waveInOpen(&wave_in, WAVE_MAPPER, &kVoiceFormat, 0, 0, CALLBACK_NULL);
        std::exit(none && open == MMSYSERR_NODRIVER ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
