// Recording and playback through the real wave devices: the file device for exact bytes,
// a PulseAudio null sink for the system's own sound server.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "audio/engine_driver.h"
#include "audio/pcm_queue.h"
#include "platform/audio/pulse_daemon.h"

namespace {

// What the device returned while a test ran: which ring buffer, and whether it was full.
struct ReturnLog {
  explicit ReturnLog(EngineTest::Hook& hook) {
    hook = [this](HWND, UINT message, WPARAM, LPARAM lParam) {
      if (message != MM_WIM_DATA) return;
      const auto* header = reinterpret_cast<const WAVEHDR*>(lParam);
      rings.push_back(static_cast<int>(header - appState.waveHeaders));
      full += header->dwBytesRecorded == PCM_BUFFER_SIZE ? 1 : 0;
    };
  }
  std::vector<int> rings;
  int full = 0;
};

std::u16string SecondsText(int chunks) {
  WCHAR text[16];
  wsprintfW(text, u"%5.1lfs", chunks * 0.32);
  return text;
}

class RecordingTest : public EngineTest {
 protected:
  // Stops the recording once `full` buffers have come back full.
  void StopAfter(const ReturnLog& log, int full) {
    after_ = [&log, full](HWND window, UINT message, WPARAM, LPARAM) {
      if (message == MM_WIM_DATA && log.full == full &&
          appState.recorderState == RECORDER_RECORDING) {
        StopRecording(window);
      }
    };
  }
  // The chunks are the input's buffers compressed, in capture order (then silence), and
  // nothing of the closed recording is left for the next one.
  void ExpectRecordingOf(const std::vector<BYTE>& pcm, int chunks) {
    EXPECT_EQ(appState.voiceChunkCount.load(), chunks);
    EXPECT_EQ(appState.recordedBytes, static_cast<DWORD>(chunks) * PCM_BUFFER_SIZE);
    const auto stored = StoredChunks();
    ASSERT_EQ(static_cast<int>(stored.size()), chunks);
    const std::vector<BYTE> silence(PCM_BUFFER_SIZE, 0);
    for (std::size_t i = 0; i < stored.size(); ++i) {
      const std::size_t at = i * PCM_BUFFER_SIZE;
      EXPECT_EQ(stored[i], EncodedChunk(at < pcm.size() ? pcm.data() + at : silence.data())) << i;
    }
    EXPECT_EQ(appState.pcmQueueLock, nullptr);
    EXPECT_EQ(appState.compressThread.load(), nullptr);
    BYTE left[PCM_BUFFER_SIZE];
    EXPECT_EQ(GetPcmBuffer(left), -1) << "a buffer was left in the PCM queue";
  }
};

class RecordFullBuffers : public RecordingTest, public ::testing::WithParamInterface<int> {};

// 0: stopped before the first buffer came back.
TEST_P(RecordFullBuffers, EveryFullBufferBecomesOneChunkInCaptureOrder) {
  const int full = GetParam();
  const std::vector<BYTE> pcm = VoicePcm(full + 4);
  UseFile(pcm, full == 0 ? "realtime" : "fast");
  ReturnLog log(before_);
  StopAfter(log, full);
  ASSERT_EQ(PressRecord(window_), 0);
  EXPECT_EQ(appState.waveDeviceOpen, 1);
  EXPECT_EQ(TimeText(), u"  0.0s");
  if (full == 0) StopRecording(window_);
  ASSERT_TRUE(PumpUntilIdle());
  if (full == 0 && log.full != 0) GTEST_SKIP() << "the device filled a buffer before the stop";

  // Buffers completed before the stop count too; no full one is lost.
  EXPECT_GE(log.full, full);
  ExpectRecordingOf(pcm, log.full);
  EXPECT_EQ(appState.recordingAvailable.load(), full == 0 ? 0 : 1);
  EXPECT_EQ(Progress(), 0);
  EXPECT_TRUE(Enabled(IDC_PLAY));
  // Handed over 0, 2, 1, 0, 2, 1 ...: the returns come back in that order.
  ASSERT_FALSE(log.rings.empty());
  const int order[] = {0, 2, 1};
  for (std::size_t i = 0; i < log.rings.size(); ++i) EXPECT_EQ(log.rings[i], order[i % 3]) << i;
  if (full == 0) {
    EXPECT_EQ(StartPlayback(window_), -1);
    EXPECT_EQ(TimeText(), u"0.0s");
  } else {
    EXPECT_EQ(TimeText(), u"  0.0s");
  }
}

INSTANTIATE_TEST_SUITE_P(Counts, RecordFullBuffers, ::testing::Values(0, 1, 2, 5, 12));

TEST_F(RecordingTest, StopsAtTheFirstTickPastSixtyFourSeconds) {
  UseFile(VoicePcm(8));
  // Each tick comes once the one buffer the device still holds is full: the device then
  // waits, so the position the tick reads is a whole number of buffers.
  DWORD last_running = 0;
  DWORD stopped_at = 0;
  before_ = [&](HWND window, UINT message, WPARAM, LPARAM) {
    if (message != MM_WIM_DATA || appState.recorderState != RECORDER_RECORDING) return;
    for (MSG next; !PeekMessageW(&next, window, MM_WIM_DATA, MM_WIM_DATA, PM_NOREMOVE);) {
      std::this_thread::yield();
    }
    MMTIME time{};
    time.wType = TIME_BYTES;
    waveInGetPosition(appState.waveIn, &time, sizeof time);
    SendMessageW(window, WM_TIMER, RECORD_TIMER_ID, 0);
    (appState.recorderState == RECORDER_RECORDING ? last_running : stopped_at) = time.u.cb;
  };
  ASSERT_EQ(PressRecord(window_), 0);
  ASSERT_TRUE(PumpUntilIdle());

  EXPECT_EQ(last_running, MAX_RECORD_BYTES);
  EXPECT_EQ(stopped_at, MAX_RECORD_BYTES + PCM_BUFFER_SIZE);
  EXPECT_GE(appState.recordedBytes, MAX_RECORD_BYTES);
  ExpectRecordingOf(VoicePcm(8), appState.voiceChunkCount);
  EXPECT_EQ(appState.recordingAvailable.load(), 1);
  EXPECT_EQ(TimeText(), u"  0.0s");
  EXPECT_EQ(Progress(), 0);
}

TEST_F(RecordingTest, FullBufferHandledAfterTheStopJoinsTheRecordingNotTheNextOne) {
  const std::vector<BYTE> first = VoicePcm(6, 7);
  UseFile(first);
  // Both queued buffers fill, but their notifications are held until after Stop; only they
  // come off the queue, since handing one to the engine would queue a third buffer.
  ASSERT_EQ(PressRecord(window_), 0);
  std::vector<MSG> held;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (MSG msg; held.size() < 2 && std::chrono::steady_clock::now() < give_up;) {
    if (PeekMessageW(&msg, window_, MM_WIM_DATA, MM_WIM_DATA, PM_REMOVE)) {
      held.push_back(msg);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  ASSERT_EQ(held.size(), 2u);
  StopRecording(window_);
  for (const MSG& msg : held) DispatchMessageW(&msg);
  ASSERT_TRUE(PumpUntilIdle());
  ExpectRecordingOf(first, 2);

  // The next recording starts from its own first buffer.
  const std::vector<BYTE> second = VoicePcm(6, 8);
  UseFile(second);
  ReturnLog log(before_);
  StopAfter(log, 1);
  ASSERT_EQ(PressRecord(window_), 0);
  ASSERT_TRUE(PumpUntilIdle());
  ExpectRecordingOf(second, log.full);
}

// A finished recording of `chunks` chunks, as the recorder leaves it when it closes.
std::vector<std::vector<BYTE>> StoreRecording(int chunks, unsigned seed) {
  const std::vector<BYTE> pcm = EngineTest::VoicePcm(chunks, seed);
  std::vector<std::vector<BYTE>> stored;
  InitVoiceStore();
  for (int i = 0; i < chunks; ++i) {
    stored.push_back(EngineTest::EncodedChunk(pcm.data() + std::ptrdiff_t{i} * PCM_BUFFER_SIZE));
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

// Chunks recorded, and the finished buffer after which Stop is pressed (0: none).
class PlayChunks : public EngineTest, public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(PlayChunks, EachChunkIsWrittenOnceAndTheLastDoneOrAStopEndsPlayback) {
  const int chunks = GetParam().first;
  int stop_at = GetParam().second;
  int done = 0;
  int ended_at = 0;  // the finished buffer at which playback had ended
  UseFile(VoicePcm(1));
  const auto stored = StoreRecording(chunks, 3);
  after_ = [&](HWND window, UINT message, WPARAM, LPARAM) {
    if (message != MM_WOM_DONE) return;
    ++done;
    if (ended_at == 0 && appState.recorderState == RECORDER_IDLE) ended_at = done;
    if (done == stop_at) StopPlayback(window);
  };
  ASSERT_EQ(PressPlay(window_), 0);
  EXPECT_EQ(appState.recorderState.load(), RECORDER_PLAYING);
  EXPECT_EQ(TimeText(), u"  0.0s");
  EXPECT_FALSE(Enabled(IDC_RECORD));
  if (stop_at != 0) {
    // A stop shows the whole length; the buffers it returned arrive afterwards and change
    // nothing, and Play starts again from the first chunk.
    ASSERT_TRUE(Pump(Idle));
    EXPECT_EQ(TimeText(), SecondsText(chunks));
    EXPECT_EQ(Progress(), chunks);
    EXPECT_TRUE(Enabled(IDC_RECORD));
    Drain();
    EXPECT_TRUE(Idle());
    EXPECT_EQ(appState.playbackPending, 0);
    EXPECT_EQ(TimeText(), SecondsText(chunks));
    done = ended_at = stop_at = 0;
    ASSERT_EQ(PressPlay(window_), 0);
  }
  ASSERT_TRUE(PumpUntilIdle());

  EXPECT_EQ(ended_at, chunks);
  EXPECT_EQ(TimeText(), SecondsText(chunks));
  EXPECT_EQ(Progress(), chunks);
  EXPECT_TRUE(Enabled(IDC_RECORD));
  // Every write is one whole decoded chunk, in order, and the recording stays as it was.
  EXPECT_EQ(wave_test::ReadWav(out()), Decoded(stored));
  EXPECT_EQ(appState.recordingAvailable.load(), 1);
  EXPECT_EQ(StoredChunks(), stored);
}

INSTANTIATE_TEST_SUITE_P(Counts, PlayChunks,
                         ::testing::Values(std::pair{1, 0}, std::pair{2, 0}, std::pair{3, 0},
                                           std::pair{8, 0}, std::pair{6, 1}));

TEST_F(RecordingTest, RecordsFromAPulseAudioSourceAndPlaysToItsSink) {
  wave_test::PulseDaemon daemon;
  std::string why;
  if (!daemon.Start(why)) GTEST_SKIP() << why;
  murmel::test::ScopedEnv server("PULSE_SERVER", daemon.server());
  murmel::test::ScopedEnv audio("MURMELPOST_AUDIO", "pulse");
  ReturnLog log(before_);
  StopAfter(log, 3);
  ASSERT_EQ(PressRecord(window_), 0);
  ASSERT_TRUE(PumpUntilIdle());
  EXPECT_GE(log.full, 3);
  EXPECT_EQ(appState.voiceChunkCount.load(), log.full);
  EXPECT_EQ(appState.recordedBytes, static_cast<DWORD>(log.full) * PCM_BUFFER_SIZE);

  int done = 0;
  after_ = [&done](HWND, UINT message, WPARAM, LPARAM) { done += message == MM_WOM_DONE; };
  ASSERT_EQ(PressPlay(window_), 0);
  ASSERT_TRUE(PumpUntilIdle());
  EXPECT_EQ(done, log.full);
  EXPECT_EQ(TimeText(), SecondsText(log.full));
}

}  // namespace
