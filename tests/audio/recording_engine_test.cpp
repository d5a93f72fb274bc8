#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_test_window.h"
#include "platform/audio/pulse_daemon.h"

namespace {

using engine_test::EngineWindow;
using engine_test::FileAudio;

// What the device returned to the window while a test ran: which ring buffer, and whether
// it came back full.
struct Return {
  int ring;
  bool full;
};

class ReturnLog {
 public:
  ReturnLog() {
    engine_test::BeforeMessage() = [this](HWND, UINT message, WPARAM, LPARAM lParam) {
      if (message != MM_WIM_DATA) return;
      const auto* header = reinterpret_cast<const WAVEHDR*>(lParam);
      returns_.push_back({static_cast<int>(header - appState.waveHeaders),
                          header->dwBytesRecorded == PCM_BUFFER_SIZE});
    };
  }
  int full() const {
    int count = 0;
    for (const Return& r : returns_) count += r.full ? 1 : 0;
    return count;
  }
  const std::vector<Return>& returns() const { return returns_; }

 private:
  std::vector<Return> returns_;
};

bool Idle() {
  return appState.recorderState.load() == RECORDER_IDLE && appState.waveDeviceOpen == 0;
}

// The chunks are the input's buffers compressed, in capture order; past the end of the
// input file the device captures silence.
void ExpectChunksOf(const std::vector<BYTE>& pcm) {
  const auto chunks = engine_test::StoredChunks();
  ASSERT_EQ(static_cast<int>(chunks.size()), appState.voiceChunkCount.load());
  const std::vector<BYTE> silence(PCM_BUFFER_SIZE, 0);
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    const std::size_t at = i * PCM_BUFFER_SIZE;
    const BYTE* source = at < pcm.size() ? pcm.data() + at : silence.data();
    EXPECT_EQ(chunks[i], engine_test::EncodedChunk(source)) << "chunk " << i;
  }
}

// Nothing of a closed recording is left behind for the next one.
void ExpectRecorderReleased() {
  EXPECT_EQ(appState.pcmQueueLock, nullptr);
  EXPECT_EQ(appState.compressThread.load(), nullptr);
  EXPECT_EQ(appState.compressStop.load(), 1);
  BYTE pcm[PCM_BUFFER_SIZE];
  EXPECT_EQ(GetPcmBuffer(pcm), -1) << "a buffer was left in the PCM queue";
}

class RecordingEngine : public ::testing::Test {
 protected:
  void SetUp() override { engine_test::StartGui(); }
};

class RecordFullBuffers : public RecordingEngine, public ::testing::WithParamInterface<int> {};

TEST_P(RecordFullBuffers, EveryFullBufferBecomesOneChunkInCaptureOrder) {
  const int stop_after = GetParam();
  const std::vector<BYTE> pcm = engine_test::VoicePcm(stop_after + 4);
  FileAudio audio(pcm);
  EngineWindow main;
  ASSERT_EQ(main.init_result(), 0);
  ReturnLog log;
  engine_test::AfterMessage() = [&](HWND window, UINT message, WPARAM, LPARAM) {
    if (message == MM_WIM_DATA && log.full() == stop_after &&
        appState.recorderState == RECORDER_RECORDING) {
      StopRecording(window);
    }
  };
  main.Enable(IDC_PLAY, false);

  ASSERT_EQ(StartRecording(main.window()), 0);
  EXPECT_EQ(appState.recorderState.load(), RECORDER_RECORDING);
  EXPECT_EQ(appState.waveDeviceOpen, 1);
  EXPECT_EQ(main.TimeText(), u"  0.0s");
  ASSERT_TRUE(EngineWindow::Pump(Idle));
  engine_test::DrainNotifications();

  // Buffers completed before the stop count too; no full one is lost.
  const int full = log.full();
  EXPECT_GE(full, stop_after);
  EXPECT_EQ(appState.voiceChunkCount.load(), full);
  EXPECT_EQ(appState.recordedBytes, static_cast<DWORD>(full) * PCM_BUFFER_SIZE);
  EXPECT_EQ(appState.recordingAvailable.load(), 1);
  ExpectChunksOf(pcm);
  ExpectRecorderReleased();
  EXPECT_EQ(main.TimeText(), u"  0.0s");
  EXPECT_EQ(main.ProgressPosition(), 0);
  EXPECT_TRUE(main.Enabled(IDC_PLAY));

  // Handed over 0, 2, 1, 0, 2, 1 ...: the returns come back in that order.
  const int order[] = {0, 2, 1};
  for (std::size_t i = 0; i < log.returns().size(); ++i) {
    EXPECT_EQ(log.returns()[i].ring, order[i % 3]) << "return " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Counts, RecordFullBuffers, ::testing::Values(1, 2, 5, 12));

TEST_F(RecordingEngine, StopBeforeTheFirstBufferLeavesNothingToPlay) {
  FileAudio audio(engine_test::VoicePcm(4), "realtime");
  EngineWindow main;
  ASSERT_EQ(main.init_result(), 0);
  ReturnLog log;
  main.Enable(IDC_PLAY, false);

  ASSERT_EQ(StartRecording(main.window()), 0);
  StopRecording(main.window());
  ASSERT_TRUE(EngineWindow::Pump(Idle));
  engine_test::DrainNotifications();
  if (log.full() != 0) GTEST_SKIP() << "the device filled a buffer before the stop";

  EXPECT_FALSE(log.returns().empty());
  EXPECT_EQ(appState.recordedBytes, 0u);
  EXPECT_EQ(appState.voiceChunkCount.load(), 0);
  EXPECT_EQ(appState.recordingAvailable.load(), 0);
  EXPECT_EQ(main.TimeText(), u"0.0s");
  EXPECT_EQ(main.ProgressPosition(), 0);
  EXPECT_TRUE(main.Enabled(IDC_PLAY));
  ExpectRecorderReleased();

  EXPECT_EQ(StartPlayback(main.window()), -1);
  EXPECT_EQ(main.TimeText(), u"0.0s");
}

TEST_F(RecordingEngine, StopsByItselfPastSixtyFourSeconds) {
  FileAudio audio(engine_test::VoicePcm(8));
  EngineWindow main;
  ASSERT_EQ(main.init_result(), 0);

  // No Stop: the recording timer ends it. The fast file device keeps a buffer notification
  // always waiting, which starves the platform's timer, so the ticks are posted here.
  int returns = 0;
  engine_test::AfterMessage() = [&](HWND window, UINT message, WPARAM, LPARAM) {
    if (message == MM_WIM_DATA && ++returns % 25 == 0) {
      PostMessageW(window, WM_TIMER, RECORD_TIMER_ID, 0);
    }
  };
  ASSERT_EQ(StartRecording(main.window()), 0);
  ASSERT_TRUE(EngineWindow::Pump(Idle));
  engine_test::DrainNotifications();

  EXPECT_GE(appState.recordedBytes, MAX_RECORD_BYTES);
  EXPECT_EQ(appState.recordedBytes,
            static_cast<DWORD>(appState.voiceChunkCount.load()) * PCM_BUFFER_SIZE);
  EXPECT_EQ(appState.recordingAvailable.load(), 1);
  EXPECT_EQ(main.TimeText(), u"  0.0s");
  EXPECT_EQ(main.ProgressPosition(), 0);
  ExpectRecorderReleased();
}

TEST_F(RecordingEngine, SendDuringARecordingClosesAtOnceAndKeepsWhatWasCaptured) {
  const std::vector<BYTE> pcm = engine_test::VoicePcm(8);
  FileAudio audio(pcm);
  EngineWindow main;
  ASSERT_EQ(main.init_result(), 0);
  ReturnLog log;
  int available = -1;
  engine_test::AfterMessage() = [&](HWND window, UINT message, WPARAM, LPARAM) {
    if (message == MM_WIM_DATA && log.full() == 3 && appState.recorderState == RECORDER_RECORDING) {
      available = StopRecordingForSend(window);
      // The send thread takes over at once.
      appState.recorderState.store(RECORDER_SENDING);
    }
  };

  ASSERT_EQ(StartRecording(main.window()), 0);
  ASSERT_TRUE(EngineWindow::Pump([&] { return available != -1; }));
  EXPECT_EQ(available, 1);
  EXPECT_EQ(appState.waveDeviceOpen, 0);
  const int chunks = appState.voiceChunkCount;
  EXPECT_GE(chunks, 3);
  EXPECT_EQ(appState.recordedBytes, static_cast<DWORD>(chunks) * PCM_BUFFER_SIZE);
  ExpectRecorderReleased();

  // The returns the stop caused arrive while sending: they change neither the recording nor
  // the send's state.
  engine_test::DrainNotifications();
  EXPECT_EQ(appState.recorderState.load(), RECORDER_SENDING);
  EXPECT_EQ(appState.voiceChunkCount.load(), chunks);
  EXPECT_EQ(log.full(), chunks);
  ExpectChunksOf(pcm);
  appState.recorderState.store(RECORDER_IDLE);
}

TEST_F(RecordingEngine, FullBufferHandledAfterTheStopJoinsTheRecordingNotTheNextOne) {
  const std::vector<BYTE> first = engine_test::VoicePcm(6, 7);
  FileAudio audio(first);
  EngineWindow main;
  ASSERT_EQ(main.init_result(), 0);

  // Both queued buffers fill and come back, but their notifications wait until after Stop.
  ASSERT_EQ(StartRecording(main.window()), 0);
  // Only the notifications come off the queue here: a pump that dispatched whatever came
  // next could hand one of them to the engine, which would queue a third buffer.
  std::vector<MSG> held;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (held.size() < 2 && std::chrono::steady_clock::now() < give_up) {
    MSG msg;
    if (PeekMessageW(&msg, main.window(), MM_WIM_DATA, MM_WIM_DATA, PM_REMOVE)) {
      held.push_back(msg);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  ASSERT_EQ(held.size(), 2u);
  StopRecording(main.window());
  for (const MSG& msg : held) DispatchMessageW(&msg);
  ASSERT_TRUE(EngineWindow::Pump(Idle));
  engine_test::DrainNotifications();

  EXPECT_EQ(appState.voiceChunkCount.load(), 2);
  EXPECT_EQ(appState.recordedBytes, 2u * PCM_BUFFER_SIZE);
  ExpectChunksOf(first);
  ExpectRecorderReleased();

  // The next recording starts from its own first buffer.
  const std::vector<BYTE> second = engine_test::VoicePcm(6, 8);
  wave_test::WriteWav(audio.in, second);
  ReturnLog log;
  engine_test::AfterMessage() = [&](HWND window, UINT message, WPARAM, LPARAM) {
    if (message == MM_WIM_DATA && log.full() == 1 && appState.recorderState == RECORDER_RECORDING) {
      StopRecording(window);
    }
  };
  ASSERT_EQ(StartRecording(main.window()), 0);
  ASSERT_TRUE(EngineWindow::Pump(Idle));
  engine_test::DrainNotifications();
  EXPECT_EQ(appState.voiceChunkCount.load(), log.full());
  ExpectChunksOf(second);
}

TEST_F(RecordingEngine, RecordIsRefusedWhileADeviceIsOpen) {
  FileAudio audio(engine_test::VoicePcm(4));
  EngineWindow main;
  ASSERT_EQ(main.init_result(), 0);
  ASSERT_EQ(StartRecording(main.window()), 0);
  HWAVEIN device = appState.waveIn;

  EXPECT_EQ(StartRecording(main.window()), -1);
  EXPECT_EQ(appState.recorderState.load(), RECORDER_RECORDING);
  EXPECT_EQ(appState.waveIn, device);
  EXPECT_EQ(StartPlayback(main.window()), -1);
  EXPECT_EQ(appState.recorderState.load(), RECORDER_RECORDING);
}

TEST_F(RecordingEngine, RecordsFromAPulseAudioSource) {
  wave_test::PulseDaemon daemon;
  std::string why;
  if (!daemon.Start(why)) GTEST_SKIP() << why;
  murmel::test::ScopedEnv server("PULSE_SERVER", daemon.server());
  murmel::test::ScopedEnv audio("MURMELPOST_AUDIO", "pulse");
  EngineWindow main;
  ASSERT_EQ(main.init_result(), 0);
  ReturnLog log;
  engine_test::AfterMessage() = [&](HWND window, UINT message, WPARAM, LPARAM) {
    if (message == MM_WIM_DATA && log.full() == 3 && appState.recorderState == RECORDER_RECORDING) {
      StopRecording(window);
    }
  };

  ASSERT_EQ(StartRecording(main.window()), 0);
  ASSERT_TRUE(EngineWindow::Pump(Idle));
  engine_test::DrainNotifications();

  EXPECT_GE(log.full(), 3);
  EXPECT_EQ(appState.voiceChunkCount.load(), log.full());
  EXPECT_EQ(appState.recordedBytes, static_cast<DWORD>(log.full()) * PCM_BUFFER_SIZE);
  ExpectRecorderReleased();
}

}  // namespace
