// Playing through the WAV-file device: what is played lands in the file, buffers come back
// in order, and a reset keeps only what was heard.
#include <mmsystem.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "wave_test_helpers.h"

namespace {

using namespace wave_test;

class FilePlaybackTest : public WaveDeviceTest {
 protected:
  HWAVEOUT Open(const char* pace) {
    UseAudio("file:out=" + out_path_ + ",pace=" + pace);
    return OpenDevice<HWAVEOUT>();
  }

  const std::string out_path_ = dir_ / "out.wav";
};

TEST_F(FilePlaybackTest, WrittenBuffersLandInTheFileInOrderAndComeBackDone) {
  const HWAVEOUT wave_out = Open("fast");
  Buffer buffers[3] = {Buffer(kBufferSize), Buffer(kBufferSize), Buffer(1000)};
  std::vector<BYTE> expected;
  for (int i = 0; i < 3; ++i) {
    buffers[i].Fill(Pattern(buffers[i].bytes.size(), 10 + i));
    expected.insert(expected.end(), buffers[i].bytes.begin(), buffers[i].bytes.end());
  }
  PrepareAll(wave_out, {&buffers[0], &buffers[1], &buffers[2]}, true);
  for (Buffer& b : buffers) ExpectDone(wave_out, b);
  EXPECT_EQ(Position(wave_out), expected.size());

  // The player's pattern: a returned buffer is refilled, marked prepared alone, written again.
  buffers[0].Fill(Pattern(kBufferSize, 20));
  buffers[0].header.dwFlags = WHDR_PREPARED;
  ASSERT_EQ(Queue(wave_out, buffers[0]), 0u);
  ExpectDone(wave_out, buffers[0]);
  expected.insert(expected.end(), buffers[0].bytes.begin(), buffers[0].bytes.end());
  EXPECT_EQ(Position(wave_out), expected.size());

  for (Buffer& b : buffers) {
    ASSERT_EQ(Unprepare(wave_out, b), 0u);
    EXPECT_FALSE(b.header.dwFlags & WHDR_PREPARED);
  }
  CloseDevice(wave_out);
  EXPECT_EQ(ReadWav(out_path_), expected);
}

TEST_F(FilePlaybackTest, ResetReturnsEveryBufferAndTheFileKeepsOnlyWhatWasPlayed) {
  const HWAVEOUT wave_out = Open("realtime");
  Buffer long_buffer(10 * 16000);
  long_buffer.Fill(Pattern(long_buffer.bytes.size(), 30));
  Buffer short_buffer;
  PrepareAll(wave_out, {&long_buffer, &short_buffer}, true);
  while (Position(wave_out) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const DWORD heard_before_reset = Position(wave_out);
  ASSERT_EQ(waveOutReset(wave_out), MMSYSERR_NOERROR);
  for (Buffer* b : {&long_buffer, &short_buffer}) {
    EXPECT_EQ(b->header.dwFlags, static_cast<DWORD>(WHDR_PREPARED | WHDR_DONE));
    ExpectDone(wave_out, *b);
  }
  EXPECT_EQ(Position(wave_out), 0u);

  const std::vector<BYTE> cut = ReadWav(out_path_);
  EXPECT_GE(cut.size(), heard_before_reset);
  EXPECT_LT(cut.size(), long_buffer.bytes.size());
  EXPECT_EQ(cut,
            std::vector<BYTE>(long_buffer.bytes.begin(), long_buffer.bytes.begin() + cut.size()));

  // Playback goes on after a reset, appended after what was heard.
  short_buffer.Fill(Pattern(kBufferSize, 31));
  ASSERT_EQ(Queue(wave_out, short_buffer), 0u);
  ExpectDone(wave_out, short_buffer);
  EXPECT_EQ(Position(wave_out), kBufferSize);
  UnprepareAll(wave_out, {&long_buffer, &short_buffer});
  CloseDevice(wave_out);
  std::vector<BYTE> expected = cut;
  expected.insert(expected.end(), short_buffer.bytes.begin(), short_buffer.bytes.end());
  EXPECT_EQ(ReadWav(out_path_), expected);
}

}  // namespace
