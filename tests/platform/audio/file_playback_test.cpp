// Playing through the WAV-file device: what is played lands in the file, buffers come back
// in order, and a reset keeps only what was heard.
#include <mmsystem.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <tuple>

#include "wave_test_helpers.h"

namespace {

using namespace wave_test;

class FilePlaybackTest : public WaveDeviceTest {
 protected:
  HWAVEOUT Open(const char* pace, const WAVEFORMATEX& format = kVoiceFormat) {
    UseAudio("file:out=" + out_path_ + ",pace=" + pace);
    HWAVEOUT wave_out = nullptr;
    EXPECT_EQ(waveOutOpen(&wave_out, WAVE_MAPPER, &format, Callback(), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    ExpectNotice(MM_WOM_OPEN, wave_out);
    return wave_out;
  }
  void ExpectDone(HWAVEOUT wave_out, const WAVEHDR& header) {
    ExpectNotice(MM_WOM_DONE, wave_out, &header);
  }
  void Close(HWAVEOUT wave_out) {
    ASSERT_EQ(waveOutClose(wave_out), MMSYSERR_NOERROR);
    ExpectNotice(MM_WOM_CLOSE, wave_out);
    EXPECT_TRUE(NoMessagePending());
  }
  static DWORD Position(HWAVEOUT wave_out) { return PositionBytes(wave_out, waveOutGetPosition); }

  const std::string out_path_ = dir_ / "out.wav";
};

TEST_F(FilePlaybackTest, WrittenBuffersLandInTheFileInOrderAndComeBackDone) {
  const HWAVEOUT wave_out = Open("fast");
  Buffer buffers[3] = {Buffer(kBufferSize), Buffer(kBufferSize), Buffer(1000)};
  std::vector<BYTE> expected;
  for (int i = 0; i < 3; ++i) {
    buffers[i].Fill(Pattern(buffers[i].bytes.size(), 10 + i));
    expected.insert(expected.end(), buffers[i].bytes.begin(), buffers[i].bytes.end());
    ASSERT_EQ(waveOutPrepareHeader(wave_out, &buffers[i].header, kHeaderSize), 0u);
  }
  for (Buffer& b : buffers) ASSERT_EQ(waveOutWrite(wave_out, &b.header, kHeaderSize), 0u);
  for (Buffer& b : buffers) ExpectDone(wave_out, b.header);
  EXPECT_EQ(Position(wave_out), expected.size());

  // The player's pattern: a returned buffer is refilled, marked prepared alone, written again.
  buffers[0].Fill(Pattern(kBufferSize, 20));
  buffers[0].header.dwFlags = WHDR_PREPARED;
  ASSERT_EQ(waveOutWrite(wave_out, &buffers[0].header, kHeaderSize), 0u);
  ExpectDone(wave_out, buffers[0].header);
  expected.insert(expected.end(), buffers[0].bytes.begin(), buffers[0].bytes.end());
  EXPECT_EQ(Position(wave_out), expected.size());

  for (Buffer& b : buffers) {
    ASSERT_EQ(waveOutUnprepareHeader(wave_out, &b.header, kHeaderSize), 0u);
    EXPECT_FALSE(b.header.dwFlags & WHDR_PREPARED);
  }
  Close(wave_out);
  const WavContents wav = ReadWav(out_path_);
  EXPECT_EQ(std::tie(wav.tag, wav.channels, wav.rate, wav.bits),
            std::make_tuple(WAVE_FORMAT_PCM, 1, 8000u, 16));
  EXPECT_EQ(wav.data, expected);
}

TEST_F(FilePlaybackTest, ResetReturnsEveryBufferAndTheFileKeepsOnlyWhatWasPlayed) {
  const HWAVEOUT wave_out = Open("realtime");
  Buffer long_buffer(10 * 16000);
  long_buffer.Fill(Pattern(long_buffer.bytes.size(), 30));
  Buffer short_buffer;
  for (Buffer* b : {&long_buffer, &short_buffer}) {
    ASSERT_EQ(waveOutPrepareHeader(wave_out, &b->header, kHeaderSize), 0u);
    ASSERT_EQ(waveOutWrite(wave_out, &b->header, kHeaderSize), 0u);
  }
  while (Position(wave_out) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const DWORD heard_before_reset = Position(wave_out);
  ASSERT_EQ(waveOutReset(wave_out), MMSYSERR_NOERROR);
  EXPECT_EQ(long_buffer.header.dwFlags, static_cast<DWORD>(WHDR_PREPARED | WHDR_DONE));
  EXPECT_EQ(short_buffer.header.dwFlags, static_cast<DWORD>(WHDR_PREPARED | WHDR_DONE));
  ExpectDone(wave_out, long_buffer.header);
  ExpectDone(wave_out, short_buffer.header);
  EXPECT_EQ(Position(wave_out), 0u);

  const WavContents cut = ReadWav(out_path_);
  EXPECT_GE(cut.data.size(), heard_before_reset);
  EXPECT_LT(cut.data.size(), long_buffer.bytes.size());
  EXPECT_EQ(cut.data, std::vector<BYTE>(long_buffer.bytes.begin(),
                                        long_buffer.bytes.begin() + cut.data.size()));

  // Playback goes on after a reset, appended after what was heard.
  short_buffer.Fill(Pattern(kBufferSize, 31));
  ASSERT_EQ(waveOutWrite(wave_out, &short_buffer.header, kHeaderSize), 0u);
  ExpectDone(wave_out, short_buffer.header);
  EXPECT_EQ(Position(wave_out), kBufferSize);
  for (Buffer* b : {&long_buffer, &short_buffer}) {
    ASSERT_EQ(waveOutUnprepareHeader(wave_out, &b->header, kHeaderSize), 0u);
  }
  Close(wave_out);
  std::vector<BYTE> expected = cut.data;
  expected.insert(expected.end(), short_buffer.bytes.begin(), short_buffer.bytes.end());
  const std::vector<BYTE> played = ReadWav(out_path_).data;
  ASSERT_EQ(played.size(), expected.size());
  EXPECT_EQ(played, expected);
}

TEST_F(FilePlaybackTest, AnyPcmFormatIsWrittenWithItsOwnHeader) {
  const WAVEFORMATEX stereo{WAVE_FORMAT_PCM, 2, 22050, 88200, 4, 16, 0};
  const HWAVEOUT wave_out = Open("fast", stereo);
  Buffer buffer(4000);
  buffer.Fill(Pattern(4000, 40));
  ASSERT_EQ(waveOutPrepareHeader(wave_out, &buffer.header, kHeaderSize), 0u);
  ASSERT_EQ(waveOutWrite(wave_out, &buffer.header, kHeaderSize), 0u);
  ExpectDone(wave_out, buffer.header);
  MMTIME time{};
  time.wType = TIME_SAMPLES;
  ASSERT_EQ(waveOutGetPosition(wave_out, &time, sizeof time), MMSYSERR_NOERROR);
  EXPECT_EQ(time.u.sample, 1000u);
  Close(wave_out);
  const WavContents wav = ReadWav(out_path_);
  EXPECT_EQ(wav.channels, 2);
  EXPECT_EQ(wav.rate, 22050u);
  EXPECT_EQ(wav.data, buffer.bytes);
}

}  // namespace
