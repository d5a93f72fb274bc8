// Recording through the WAV-file device: bytes, order, reset and positions, as an
// application that keeps two of three buffers queued observes them.
#include <mmsystem.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "wave_test_helpers.h"

namespace {

using namespace wave_test;

class FileCaptureTest : public WaveDeviceTest {
 protected:
  HWAVEIN OpenOn(const std::vector<BYTE>& data, const char* pace) {
    WriteWav(dir_ / "in.wav", data);
    UseAudio("file:in=" + (dir_ / "in.wav") + ",pace=" + pace);
    return OpenDevice<HWAVEIN>();
  }
};

TEST_F(FileCaptureTest, ARingOfThreeBuffersGetsTheFileExactlyThenSilence) {
  const std::vector<BYTE> data = Pattern(3 * kBufferSize + 1000, 1);
  const HWAVEIN wave_in = OpenOn(data, "fast");
  Buffer ring[3];
  PrepareAll(wave_in, {&ring[0], &ring[1], &ring[2]});

  // The recorder's pattern: buffers 0 and 2 queued, then each return hands over the next
  // one in the order 0, 2, 1, 0, 2, 1.
  int next = 0;
  auto queue_next = [&] {
    ASSERT_EQ(Queue(wave_in, ring[next]), 0u);
    next = (next + 2) % 3;
  };
  queue_next();
  queue_next();
  EXPECT_EQ(ring[0].header.dwFlags, static_cast<DWORD>(WHDR_PREPARED | WHDR_INQUEUE));
  EXPECT_EQ(ring[1].header.dwFlags, static_cast<DWORD>(WHDR_PREPARED));
  EXPECT_EQ(Position(wave_in), 0u) << "nothing is captured before the start";
  ASSERT_EQ(waveInStart(wave_in), MMSYSERR_NOERROR);
  std::vector<BYTE> captured;
  const int order[] = {0, 2, 1, 0, 2, 1};
  for (int i = 0; i < 6; ++i) {
    ExpectDone(wave_in, ring[order[i]]);
    EXPECT_EQ(ring[order[i]].header.dwBytesRecorded, kBufferSize);
    const std::vector<BYTE> part = ring[order[i]].Recorded();
    captured.insert(captured.end(), part.begin(), part.end());
    if (i < 4) queue_next();
  }
  std::vector<BYTE> expected = data;
  expected.resize(std::size_t{6} * kBufferSize, 0);
  EXPECT_EQ(captured, expected);

  EXPECT_EQ(Position(wave_in), 6 * kBufferSize);
  ASSERT_EQ(waveInReset(wave_in), MMSYSERR_NOERROR);
  UnprepareAll(wave_in, {&ring[0], &ring[1], &ring[2]});
  CloseDevice(wave_in);
}

TEST_F(FileCaptureTest, ResetReturnsThePartBufferWithItsBytesAndTheRestEmptyInOrder) {
  const std::vector<BYTE> data = Pattern(std::size_t{20} * 16000, 2);
  const HWAVEIN wave_in = OpenOn(data, "realtime");
  Buffer long_buffer(10 * 16000);  // ten seconds: certain to be mid-way when reset
  Buffer second, third;
  PrepareAll(wave_in, {&long_buffer, &second, &third}, true);
  ASSERT_EQ(waveInStart(wave_in), MMSYSERR_NOERROR);
  while (Position(wave_in) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_EQ(waveInReset(wave_in), MMSYSERR_NOERROR);

  // Done and out of the queue by the time the reset returns, before any message is read.
  const DWORD recorded = long_buffer.header.dwBytesRecorded;
  EXPECT_GT(recorded, 0u);
  EXPECT_LT(recorded, long_buffer.header.dwBufferLength);
  EXPECT_EQ(recorded % kVoiceFormat.nBlockAlign, 0u);
  EXPECT_EQ(long_buffer.Recorded(), std::vector<BYTE>(data.begin(), data.begin() + recorded));
  for (Buffer* b : {&long_buffer, &second, &third}) {
    EXPECT_EQ(b->header.dwFlags, static_cast<DWORD>(WHDR_PREPARED | WHDR_DONE));
    EXPECT_EQ(b->header.dwBytesRecorded, b == &long_buffer ? recorded : 0u);
    ExpectDone(wave_in, *b);
  }
  EXPECT_EQ(Position(wave_in), 0u) << "a reset starts the position again";

  // Started again, capture goes on where the file stood: nothing was skipped.
  ASSERT_EQ(Queue(wave_in, second), 0u);
  ASSERT_EQ(waveInStart(wave_in), MMSYSERR_NOERROR);
  ExpectDone(wave_in, second);
  EXPECT_EQ(second.Recorded(),
            std::vector<BYTE>(data.begin() + recorded, data.begin() + recorded + kBufferSize));
  ASSERT_EQ(waveInReset(wave_in), MMSYSERR_NOERROR);
  CloseDevice(wave_in);
}

TEST_F(FileCaptureTest, RepeatedStartsAndResetsReturnEveryBufferOnceInOrder) {
  const HWAVEIN wave_in = OpenOn(Pattern(16000, 4), "realtime");
  Buffer ring[3] = {Buffer(640), Buffer(640), Buffer(640)};  // 20 ms each: resets race fills
  PrepareAll(wave_in, {&ring[0], &ring[1], &ring[2]});
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    for (Buffer& b : ring) ASSERT_EQ(Queue(wave_in, b), 0u);
    ASSERT_EQ(waveInStart(wave_in), MMSYSERR_NOERROR);
    std::this_thread::sleep_for(std::chrono::milliseconds(round % 4 * 10));
    ASSERT_EQ(waveInReset(wave_in), MMSYSERR_NOERROR);
    // Full ones first, then at most one partly filled, then empty ones; each exactly once.
    DWORD previous = 640;
    for (Buffer& b : ring) {
      ExpectDone(wave_in, b);
      EXPECT_LE(b.header.dwBytesRecorded, previous);
      if (b.header.dwBytesRecorded < 640) previous = 0;
    }
    EXPECT_TRUE(NoMessagePending());
  }
  ASSERT_EQ(waveInClose(wave_in), MMSYSERR_NOERROR);
}

}  // namespace
