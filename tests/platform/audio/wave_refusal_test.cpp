// What the wave functions refuse, and with which result, as the platform does.
#include <mmsystem.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "wave_test_helpers.h"

namespace {

using namespace wave_test;

class WaveRefusalTest : public WaveDeviceTest {
 protected:
  void SetUp() override {
    WaveDeviceTest::SetUp();
    WriteWav(dir_ / "in.wav", Pattern(16000, 5));
    // Both directions, so each can be refused on its own.
    UseAudio("file:in=" + (dir_ / "in.wav") + ",out=" + (dir_ / "out.wav"));
  }

  MMRESULT OpenIn(HWAVEIN* wave_in) { return Open(wave_in, kVoiceFormat, Callback()); }
};

TEST_F(WaveRefusalTest, QueuedBuffersBlockUnprepareAndClose) {
  HWAVEIN wave_in = nullptr;
  ASSERT_EQ(OpenIn(&wave_in), MMSYSERR_NOERROR);
  Buffer buffer;
  EXPECT_EQ(Queue(wave_in, buffer), static_cast<MMRESULT>(WAVERR_UNPREPARED));
  ASSERT_EQ(Prepare(wave_in, buffer), MMSYSERR_NOERROR);
  EXPECT_EQ(Prepare(wave_in, buffer), MMSYSERR_NOERROR) << "again: no effect";
  ASSERT_EQ(Queue(wave_in, buffer), MMSYSERR_NOERROR);
  EXPECT_EQ(Queue(wave_in, buffer), static_cast<MMRESULT>(WAVERR_STILLPLAYING));
  EXPECT_EQ(Unprepare(wave_in, buffer), static_cast<MMRESULT>(WAVERR_STILLPLAYING));
  EXPECT_EQ(waveInClose(wave_in), static_cast<MMRESULT>(WAVERR_STILLPLAYING));
  EXPECT_EQ(buffer.header.dwFlags, static_cast<DWORD>(WHDR_PREPARED | WHDR_INQUEUE));

  // The refused close left the device working; a reset releases the buffer.
  ASSERT_EQ(waveInReset(wave_in), MMSYSERR_NOERROR);
  EXPECT_EQ(Unprepare(wave_in, buffer), MMSYSERR_NOERROR);
  EXPECT_EQ(Unprepare(wave_in, buffer), MMSYSERR_NOERROR) << "again: no effect";
  EXPECT_EQ(buffer.header.dwFlags, static_cast<DWORD>(WHDR_DONE));
  ASSERT_EQ(waveInClose(wave_in), MMSYSERR_NOERROR);
}

TEST_F(WaveRefusalTest, OneDeviceEachWayAndClosedHandlesAreDead) {
  HWAVEIN first = nullptr;
  ASSERT_EQ(OpenIn(&first), MMSYSERR_NOERROR);
  HWAVEIN second = nullptr;
  EXPECT_EQ(OpenIn(&second), MMSYSERR_ALLOCATED);
  EXPECT_EQ(second, nullptr);
  // The other direction is a different device.
  HWAVEOUT wave_out = nullptr;
  ASSERT_EQ(waveOutOpen(&wave_out, 0, &kVoiceFormat, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  HWAVEOUT second_out = nullptr;
  EXPECT_EQ(waveOutOpen(&second_out, 0, &kVoiceFormat, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
  // An input handle is not an output handle.
  EXPECT_EQ(waveOutReset(reinterpret_cast<HWAVEOUT>(first)), MMSYSERR_INVALHANDLE);

  ASSERT_EQ(waveInClose(first), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutClose(wave_out), MMSYSERR_NOERROR);
  // Every call finds its device through one lookup: one call of each kind is enough.
  Buffer buffer;
  struct Case {
    const char* name;
    MMRESULT result;
  };
  const Case cases[] = {
      {"close", waveInClose(first)},      {"prepare", Prepare(first, buffer)},
      {"start", waveInStart(first)},      {"null", waveInStart(nullptr)},
      {"write", Queue(wave_out, buffer)},
  };
  for (const Case& c : cases) EXPECT_EQ(c.result, MMSYSERR_INVALHANDLE) << c.name;

  // Closed, the device can be opened again, under a new handle.
  HWAVEIN again = nullptr;
  ASSERT_EQ(OpenIn(&again), MMSYSERR_NOERROR);
  EXPECT_NE(again, first);
  EXPECT_EQ(waveInClose(again), MMSYSERR_NOERROR);
}

// What the recorder can meet: a capture file at another rate, a device that is not there,
// a window that is gone. A refused open leaves nothing open and says nothing.
TEST_F(WaveRefusalTest, OpenChecksDeviceFormatAndWindow) {
  const WAVEFORMATEX wide_band{WAVE_FORMAT_PCM, 1, 16000, 32000, 2, 16, 0};
  const HWND dead_window = murmel::message::CreateWindowRecord();
  murmel::message::DestroyWindowRecord(dead_window);
  const struct {
    const char* name;
    const WAVEFORMATEX* format;
    UINT device;
    HWND window;
    MMRESULT expected;
  } cases[] = {
      {"other rate than the capture file", &wide_band, WAVE_MAPPER, window_, WAVERR_BADFORMAT},
      {"second device", &kVoiceFormat, 1, window_, MMSYSERR_BADDEVICEID},
      {"destroyed window", &kVoiceFormat, 0, dead_window, MMSYSERR_INVALPARAM},
  };
  for (const auto& c : cases) {
    HWAVEIN wave_in = nullptr;
    EXPECT_EQ(waveInOpen(&wave_in, c.device, c.format, reinterpret_cast<DWORD_PTR>(c.window), 0,
                         CALLBACK_WINDOW),
              c.expected)
        << c.name;
    EXPECT_EQ(wave_in, nullptr) << c.name << ": no device was opened";
  }
  EXPECT_TRUE(NoMessagePending()) << "nothing opened, nothing said";
  HWAVEIN wave_in = nullptr;
  ASSERT_EQ(OpenIn(&wave_in), MMSYSERR_NOERROR) << "a refused open leaves the device free";
  EXPECT_EQ(waveInClose(wave_in), MMSYSERR_NOERROR);
}

}  // namespace
