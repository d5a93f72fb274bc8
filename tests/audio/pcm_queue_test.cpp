#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "audio/pcm_queue.h"
#include "audio/test_signals.h"
#include "state/app_state.h"

namespace {

PcmBuffer NumberedPcm(int number) {
  PcmBuffer pcm;
  pcm.fill(static_cast<std::uint8_t>(number));
  SetSample(pcm, SAMPLES_PER_BUFFER - 1, static_cast<std::int16_t>(number));
  return pcm;
}

int PutPcm(PcmBuffer pcm) {
  WAVEHDR header{};
  header.lpData = reinterpret_cast<LPSTR>(pcm.data());
  header.dwBufferLength = PCM_BUFFER_SIZE;
  header.dwBytesRecorded = PCM_BUFFER_SIZE;
  return PutPcmBuffer(&header);
}

// The buffers the queue hands out until it is empty, each checked against the numbering
// from `first`; -1 when one is out of order.
int TakeNumbered(int first = 0) {
  PcmBuffer out{};
  int got = 0;
  while (GetPcmBuffer(out.data()) == 1) {
    if (out != NumberedPcm(first + got++)) return -1;
  }
  return got;
}

// The recorder's two threads share the queue under its lock; the engine tests pass only a
// few buffers through it, this many more.
TEST(PcmQueueTest, WindowAndCompressionThreadsPassEveryBufferInOrder) {
  appState.pcmQueueLock = CreateEventW(nullptr, FALSE, TRUE, u"PCM Queue Event");
  ASSERT_EQ(InitPcmQueue(), 0);
  constexpr int BUFFERS = 300;
  std::thread window([] {
    for (int i = 0; i < BUFFERS; ++i) ASSERT_EQ(PutPcm(NumberedPcm(i)), 1);
  });
  int received = 0;
  for (int got = 0; received < BUFFERS && got >= 0; std::this_thread::yield()) {
    got = TakeNumbered(received);
    received += got;
  }
  window.join();
  EXPECT_EQ(received, BUFFERS);
  FreePcmQueue();
  CloseHandle(appState.pcmQueueLock);
  appState.pcmQueueLock = nullptr;
}

}  // namespace
