#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_test_window.h"
#include "platform/audio/pulse_daemon.h"

namespace {

using engine_test::EngineWindow;
using engine_test::FileAudio;

// A finished recording of `chunks` chunks, as the recorder leaves it when it closes.
std::vector<std::vector<BYTE>> StoreRecording(int chunks, unsigned seed) {
  const std::vector<BYTE> pcm = engine_test::VoicePcm(chunks, seed);
  std::vector<std::vector<BYTE>> stored;
  InitVoiceStore();
  for (int i = 0; i < chunks; ++i) {
    stored.push_back(
        engine_test::EncodedChunk(pcm.data() + static_cast<std::ptrdiff_t>(i) * PCM_BUFFER_SIZE));
    AppendVoiceChunk(stored.back().data());
  }
  appState.recordedBytes = static_cast<DWORD>(chunks) * PCM_BUFFER_SIZE;
  appState.recordingAvailable.store(1);
  return stored;
}

std::vector<BYTE> Decoded(const std::vector<std::vector<BYTE>>& chunks) {
  std::vector<BYTE> pcm;
  for (const auto& chunk : chunks) {
    std::vector<BYTE> buffer(PCM_BUFFER_SIZE);
    DecodeVoiceBuffer(chunk.data(), buffer.data(), PCM_BUFFER_SIZE);
    pcm.insert(pcm.end(), buffer.begin(), buffer.end());
  }
  return pcm;
}

std::u16string SecondsText(int chunks) {
  WCHAR text[16];
  wsprintfW(text, u"%5.1lfs", chunks * 0.32);
  return text;
}

bool Idle() {
  return appState.recorderState.load() == RECORDER_IDLE && appState.waveDeviceOpen == 0;
}

// Counts the finished buffers, and notes at which one playback ended.
class DoneLog {
 public:
  DoneLog() {
    engine_test::AfterMessage() = [this](HWND, UINT message, WPARAM, LPARAM) {
      if (message != MM_WOM_DONE) return;
      ++done_;
      if (ended_at_ == 0 && Idle()) ended_at_ = done_;
      if (on_done_) on_done_(done_);
    };
  }
  int done() const { return done_; }
  int ended_at() const { return ended_at_; }
  std::function<void(int)> on_done_;

 private:
  int done_ = 0;
  int ended_at_ = 0;
};

class PlaybackEngine : public ::testing::Test {
 protected:
  void SetUp() override { engine_test::StartGui(); }
};

class PlayChunks : public PlaybackEngine, public ::testing::WithParamInterface<int> {};

TEST_P(PlayChunks, EachChunkIsWrittenOnceAndTheLastDoneEndsPlayback) {
  const int chunks = GetParam();
  FileAudio audio(engine_test::VoicePcm(1));
  EngineWindow main;
  ASSERT_EQ(main.init_result(), 0);
  const auto stored = StoreRecording(chunks, 3);
  DoneLog log;
  main.Enable(IDC_RECORD, false);

  ASSERT_EQ(StartPlayback(main.window()), 0);
  EXPECT_EQ(appState.recorderState.load(), RECORDER_PLAYING);
  EXPECT_EQ(main.TimeText(), u"  0.0s");
  ASSERT_TRUE(EngineWindow::Pump(Idle));
  engine_test::DrainNotifications();

  EXPECT_EQ(log.ended_at(), chunks);
  EXPECT_EQ(main.TimeText(), SecondsText(chunks));
  EXPECT_EQ(main.ProgressPosition(), chunks);
  EXPECT_TRUE(main.Enabled(IDC_RECORD));
  // Every write is one whole decoded chunk, in order, and nothing more is played.
  EXPECT_EQ(wave_test::ReadWav(audio.out).data, Decoded(stored));
  // Playing changes nothing of the recording.
  EXPECT_EQ(appState.recordingAvailable.load(), 1);
  EXPECT_EQ(engine_test::StoredChunks(), stored);
}

INSTANTIATE_TEST_SUITE_P(Counts, PlayChunks, ::testing::Values(1, 2, 3, 8));

TEST_F(PlaybackEngine, StopShowsTheWholeLengthAndPlayStartsAgainFromTheFirstChunk) {
  FileAudio audio(engine_test::VoicePcm(1));
  EngineWindow main;
  ASSERT_EQ(main.init_result(), 0);
  const auto stored = StoreRecording(6, 4);
  DoneLog log;
  log.on_done_ = [&](int done) {
    if (done == 1) StopPlayback(main.window());
  };
  main.Enable(IDC_RECORD, false);

  ASSERT_EQ(StartPlayback(main.window()), 0);
  ASSERT_TRUE(EngineWindow::Pump(Idle));
  EXPECT_EQ(main.TimeText(), SecondsText(6));
  EXPECT_EQ(main.ProgressPosition(), 6);
  EXPECT_TRUE(main.Enabled(IDC_RECORD));

  // The buffers the stop returned arrive afterwards and change nothing.
  main.Enable(IDC_RECORD, false);
  engine_test::DrainNotifications();
  EXPECT_TRUE(Idle());
  EXPECT_EQ(appState.playbackPending, 0);
  EXPECT_EQ(main.TimeText(), SecondsText(6));

  log.on_done_ = nullptr;
  ASSERT_EQ(StartPlayback(main.window()), 0);
  ASSERT_TRUE(EngineWindow::Pump(Idle));
  EXPECT_EQ(wave_test::ReadWav(audio.out).data, Decoded(stored));
}

TEST_F(PlaybackEngine, PlayIsRefusedWithoutARecordingOrWhileADeviceIsOpen) {
  FileAudio audio(engine_test::VoicePcm(4));
  EngineWindow main;
  ASSERT_EQ(main.init_result(), 0);

  SetWindowTextW(GetDlgItem(GetDlgItem(main.window(), IDC_BUTTON_PANEL), IDC_TIME_DISPLAY),
                 u"  9.9s");
  appState.recordingAvailable.store(1);
  EXPECT_EQ(StartPlayback(main.window()), -1);
  EXPECT_EQ(main.TimeText(), u"0.0s");
  EXPECT_EQ(main.ProgressPosition(), 0);
  EXPECT_EQ(appState.recordingAvailable.load(), 0);
  EXPECT_EQ(appState.waveDeviceOpen, 0);

  StoreRecording(3, 5);
  ASSERT_EQ(StartPlayback(main.window()), 0);
  HWAVEOUT device = appState.waveOut;
  EXPECT_EQ(StartPlayback(main.window()), -1);
  EXPECT_EQ(StartRecording(main.window()), -1);
  EXPECT_EQ(appState.waveOut, device);
  EXPECT_EQ(appState.recorderState.load(), RECORDER_PLAYING);
}

TEST_F(PlaybackEngine, PlaysThroughAPulseAudioSink) {
  wave_test::PulseDaemon daemon;
  std::string why;
  if (!daemon.Start(why)) GTEST_SKIP() << why;
  murmel::test::ScopedEnv server("PULSE_SERVER", daemon.server());
  murmel::test::ScopedEnv audio("MURMELPOST_AUDIO", "pulse");
  EngineWindow main;
  ASSERT_EQ(main.init_result(), 0);
  StoreRecording(4, 6);
  DoneLog log;

  ASSERT_EQ(StartPlayback(main.window()), 0);
  ASSERT_TRUE(EngineWindow::Pump(Idle));
  EXPECT_EQ(log.ended_at(), 4);
  EXPECT_EQ(main.TimeText(), SecondsText(4));
}

}  // namespace
