// Helpers for the wave audio tests: WAV files written and read independently of the
// platform's own WAV code, and a wait for the next notification with a liveness guard.
#pragma once

#include <mmsystem.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <fstream>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "platform/message/window_registry.h"
#include "support/kernel_test_files.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace wave_test {

inline constexpr WAVEFORMATEX kVoiceFormat{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
inline constexpr DWORD kBufferSize = 5120;
inline constexpr UINT kHeaderSize = sizeof(WAVEHDR);

// A canonical 44-byte-header PCM WAV file, with an extra chunk before "data" when asked
// (readers must skip chunks they do not know).
inline void WriteWav(const std::string& path, const std::vector<BYTE>& data,
                     std::uint32_t rate = 8000, std::uint16_t channels = 1,
                     bool extra_chunk = false) {
  std::string file;
  const auto put = [&file](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) file += static_cast<char>(value >> (8 * i));
  };
  const auto size = static_cast<std::uint32_t>(data.size());
  file += "RIFF";
  put(36 + (extra_chunk ? 14 : 0) + size, 4);
  file += "WAVEfmt ";
  put(16, 4);
  put(WAVE_FORMAT_PCM, 2);
  put(channels, 2);
  put(rate, 4);
  put(rate * channels * 2, 4);
  put(channels * 2u, 2);
  put(16, 2);
  if (extra_chunk) file += std::string("LIST\x06\0\0\0UUUUUU", 14);
  file += "data";
  put(size, 4);
  file.append(data.begin(), data.end());
  std::ofstream(path, std::ios::binary) << file;
}

// The samples of a 44-byte-header WAV file as the platform writes it, after checking that
// its header says 8 kHz mono 16-bit PCM with consistent sizes.
inline std::vector<BYTE> ReadWav(const std::string& path) {
  const std::string file = murmel::test::ReadHostFile(path);
  const auto get = [&file](std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= std::uint32_t{BYTE(file.at(at + i))} << (8 * i);
    return value;
  };
  EXPECT_GE(file.size(), 44u) << path;
  if (file.size() < 44) return {};
  EXPECT_EQ(file.substr(0, 4) + file.substr(8, 8) + file.substr(36, 4), "RIFFWAVEfmt data");
  EXPECT_EQ(get(4, 4), file.size() - 8) << "RIFF size";
  EXPECT_EQ(get(40, 4), file.size() - 44) << "data size";
  EXPECT_EQ((std::array{get(20, 2), get(22, 2), get(24, 4), get(34, 2)}),
            (std::array<std::uint32_t, 4>{WAVE_FORMAT_PCM, 1, 8000, 16}))
      << "format, channels, rate, bits";
  return {file.begin() + 44, file.end()};
}

// Bytes that differ at every position within a long stretch, so any shift shows.
inline std::vector<BYTE> Pattern(std::size_t size, unsigned seed) {
  std::vector<BYTE> bytes(size);
  std::uint32_t state = seed * 2654435761u + 1;
  for (BYTE& b : bytes) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<BYTE>(state >> 24);
  }
  return bytes;
}

// The next message for this thread. Waiting is bounded only to turn a lost notification into
// a failure instead of a hang; nothing here measures time.
inline bool NextMessage(MSG& msg) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

inline bool NoMessagePending() {
  MSG msg;
  return !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
}

// One prepared wave header with its own buffer.
struct Buffer {
  explicit Buffer(DWORD size = kBufferSize) : bytes(size) {
    header.lpData = reinterpret_cast<LPSTR>(bytes.data());
    header.dwBufferLength = size;
  }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  std::vector<BYTE> bytes;
  WAVEHDR header{};
  // Copies `data` into the buffer's own storage, which the header points at.
  void Fill(const std::vector<BYTE>& data) {
    ASSERT_EQ(data.size(), bytes.size());
    std::copy(data.begin(), data.end(), bytes.begin());
  }
  std::vector<BYTE> Recorded() const {
    return {bytes.begin(), bytes.begin() + header.dwBytesRecorded};
  }
};

// Each call under one name for both directions, so one helper serves input and output.
using Notices = std::array<UINT, 3>;  // opened, a buffer done, closed
inline Notices NoticesOf(HWAVEIN) { return {MM_WIM_OPEN, MM_WIM_DATA, MM_WIM_CLOSE}; }
inline Notices NoticesOf(HWAVEOUT) { return {MM_WOM_OPEN, MM_WOM_DONE, MM_WOM_CLOSE}; }
inline MMRESULT Open(HWAVEIN* d, const WAVEFORMATEX& f, DWORD_PTR window) {
  return waveInOpen(d, WAVE_MAPPER, &f, window, 0, CALLBACK_WINDOW);
}
inline MMRESULT Open(HWAVEOUT* d, const WAVEFORMATEX& f, DWORD_PTR window) {
  return waveOutOpen(d, WAVE_MAPPER, &f, window, 0, CALLBACK_WINDOW);
}
inline MMRESULT Prepare(HWAVEIN d, Buffer& b) {
  return waveInPrepareHeader(d, &b.header, kHeaderSize);
}
inline MMRESULT Prepare(HWAVEOUT d, Buffer& b) {
  return waveOutPrepareHeader(d, &b.header, kHeaderSize);
}
inline MMRESULT Unprepare(HWAVEIN d, Buffer& b) {
  return waveInUnprepareHeader(d, &b.header, kHeaderSize);
}
inline MMRESULT Unprepare(HWAVEOUT d, Buffer& b) {
  return waveOutUnprepareHeader(d, &b.header, kHeaderSize);
}
// Hands a buffer over: to be filled (input) or to be played (output).
inline MMRESULT Queue(HWAVEIN d, Buffer& b) { return waveInAddBuffer(d, &b.header, kHeaderSize); }
inline MMRESULT Queue(HWAVEOUT d, Buffer& b) { return waveOutWrite(d, &b.header, kHeaderSize); }
inline MMRESULT Close(HWAVEIN d) { return waveInClose(d); }
inline MMRESULT Close(HWAVEOUT d) { return waveOutClose(d); }
inline MMRESULT GetPosition(HWAVEIN d, MMTIME* t) { return waveInGetPosition(d, t, sizeof *t); }
inline MMRESULT GetPosition(HWAVEOUT d, MMTIME* t) { return waveOutGetPosition(d, t, sizeof *t); }

// Position of an open device in bytes.
template <typename Handle>
DWORD Position(Handle device) {
  MMTIME time{TIME_BYTES, {}};
  EXPECT_EQ(GetPosition(device, &time), MMSYSERR_NOERROR);
  return time.u.cb;
}

// Prepares every buffer and, when asked, queues it.
template <typename Handle>
void PrepareAll(Handle device, std::initializer_list<Buffer*> buffers, bool queue = false) {
  for (Buffer* b : buffers) {
    ASSERT_EQ(Prepare(device, *b), MMSYSERR_NOERROR);
    if (queue) {
      ASSERT_EQ(Queue(device, *b), MMSYSERR_NOERROR);
    }
  }
}
template <typename Handle>
void UnprepareAll(Handle device, std::initializer_list<Buffer*> buffers) {
  for (Buffer* b : buffers) EXPECT_EQ(Unprepare(device, *b), MMSYSERR_NOERROR);
}

// A window record for the notifications, a temporary folder and the audio setting, with an
// empty queue before and after each test.
class WaveDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    Drain();
    window_ = murmel::message::CreateWindowRecord();
  }
  void TearDown() override {
    murmel::message::DestroyWindowRecord(window_);
    Drain();
  }
  static void Drain() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  void UseAudio(const std::string& setting) { env_.emplace_back("MURMELPOST_AUDIO", setting); }
  DWORD_PTR Callback() const { return reinterpret_cast<DWORD_PTR>(window_); }

  // Opens the device of the handle's direction, notifying the fixture's window.
  template <typename Handle>
  Handle OpenDevice(const WAVEFORMATEX& format = kVoiceFormat) {
    Handle device = nullptr;
    EXPECT_EQ(Open(&device, format, Callback()), MMSYSERR_NOERROR);
    ExpectNotice(NoticesOf(device)[0], device);
    return device;
  }
  // Closes `device`, whose closed notice must be the last one.
  template <typename Handle>
  void CloseDevice(Handle device) {
    ASSERT_EQ(Close(device), MMSYSERR_NOERROR);
    ExpectNotice(NoticesOf(device)[2], device);
    EXPECT_TRUE(NoMessagePending());
  }
  // The next notification must be `b` coming back done from `device`.
  template <typename Handle>
  void ExpectDone(Handle device, const Buffer& b) {
    ExpectNotice(NoticesOf(device)[1], device, &b.header);
  }

  // The next notification must be `message` for `device`, about `header` when given, which
  // is then done and out of the queue.
  template <typename Handle>
  void ExpectNotice(UINT message, Handle device, const WAVEHDR* header = nullptr) {
    ASSERT_TRUE(NextMessage(msg_)) << "no notification came";
    ASSERT_EQ(msg_.message, message);
    EXPECT_EQ(msg_.hwnd, window_);
    EXPECT_EQ(msg_.wParam, reinterpret_cast<WPARAM>(device));
    if (header == nullptr) return;
    ASSERT_EQ(msg_.lParam, reinterpret_cast<LPARAM>(header)) << "out of queue order";
    EXPECT_EQ(header->dwFlags, static_cast<DWORD>(WHDR_PREPARED | WHDR_DONE));
  }

  murmel::test::TempDir dir_;
  std::deque<murmel::test::ScopedEnv> env_;
  HWND window_ = nullptr;
  MSG msg_{};
};

}  // namespace wave_test
