#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "audio/pcm_queue.h"
#include "audio/test_signals.h"
#include "audio/voice_store.h"
#include "state/app_state.h"

namespace {

PcmBuffer NumberedPcm(int number) {
  PcmBuffer pcm;
  pcm.fill(static_cast<std::uint8_t>(number));
  SetSample(pcm, SAMPLES_PER_BUFFER - 1, static_cast<std::int16_t>(number));
  return pcm;
}

Chunk NumberedChunk(int number) {
  Chunk chunk;
  chunk.fill(static_cast<std::uint8_t>(number));
  chunk[VOICE_CHUNK_SIZE - 1] = static_cast<std::uint8_t>(number + 1);
  return chunk;
}

int PutPcm(PcmBuffer pcm) {
  WAVEHDR header{};
  header.lpData = reinterpret_cast<LPSTR>(pcm.data());
  header.dwBufferLength = PCM_BUFFER_SIZE;
  header.dwBytesRecorded = PCM_BUFFER_SIZE;
  return PutPcmBuffer(&header);
}

template <typename Node>
bool IsEmptyList(Node* head, Node* tail) {
  return head != nullptr && tail != nullptr && head->next == tail && tail->prev == head &&
         head->prev == head && tail->next == tail;
}

// A lock left taken would stop the other thread for good.
bool LockFree() {
  const bool free = WaitForSingleObject(appState.pcmQueueLock, 0) == WAIT_OBJECT_0;
  SetEvent(appState.pcmQueueLock);
  return free;
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

// The chunks from the head's next to the tail, each checked against the numbering from 0,
// and the links back from the tail mirroring them; -1 when one is out of place.
int WalkNumbered() {
  Chunk chunk{};
  int walked = 0;
  for (const VoiceNode* node = appState.voiceHead->next; ReadVoiceChunk(node, chunk.data()) == 1;
       node = node->next) {
    if (chunk != NumberedChunk(walked++) || node->prev->next != node) return -1;
  }
  return walked;
}

// Each test gets empty lists and the lock the recorder would create.
class VoiceListsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    appState.pcmQueueLock = CreateEventW(nullptr, FALSE, TRUE, u"PCM Queue Event");
    ASSERT_NE(appState.pcmQueueLock, nullptr);
    ASSERT_EQ(InitPcmQueue(), 0);
    ASSERT_EQ(InitVoiceStore(), 0);
  }
  void TearDown() override {
    FreePcmQueue();
    FreeVoiceStore();
    CloseHandle(appState.pcmQueueLock);
    appState.pcmQueueLock = nullptr;
  }
};

TEST_F(VoiceListsTest, QueueHandsOutItsOwnCopiesFirstInFirstOutAndLeavesTheLockFree) {
  PcmBuffer untouched;
  untouched.fill(0xEE);
  PcmBuffer out = untouched;
  EXPECT_EQ(GetPcmBuffer(out.data()), -1);
  EXPECT_EQ(out, untouched);
  // The device gets its buffer back at once and fills it again.
  PcmBuffer device = NumberedPcm(0);
  ASSERT_EQ(PutPcm(device), 1);
  device.fill(0);
  for (int i = 1; i < 3; ++i) ASSERT_EQ(PutPcm(NumberedPcm(i)), 1);
  EXPECT_TRUE(LockFree());
  EXPECT_EQ(TakeNumbered(), 3);
  EXPECT_TRUE(LockFree());
  EXPECT_TRUE(IsEmptyList(appState.pcmQueueHead, appState.pcmQueueTail));

  // Re-initialising drops what the queue held.
  PutPcm(NumberedPcm(1));
  ASSERT_EQ(InitPcmQueue(), 0);
  EXPECT_TRUE(IsEmptyList(appState.pcmQueueHead, appState.pcmQueueTail));
}

TEST_F(VoiceListsTest, WindowAndCompressionThreadsPassEveryBufferInOrder) {
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
  EXPECT_TRUE(IsEmptyList(appState.pcmQueueHead, appState.pcmQueueTail));
}

TEST_F(VoiceListsTest, StoreKeepsChunksInAppendOrderAndCountsThem) {
  for (int n : {0, 1, 5}) {
    ASSERT_EQ(InitVoiceStore(), 0);
    for (int i = 0; i < n; ++i) ASSERT_EQ(AppendVoiceChunk(NumberedChunk(i).data()), 1);
    EXPECT_EQ(appState.voiceChunkCount.load(), n);
    EXPECT_EQ(WalkNumbered(), n);
    EXPECT_EQ(appState.voiceTail->prev->next, appState.voiceTail);
  }
  // Reading the tail fails without touching the destination.
  Chunk destination;
  destination.fill(0xEE);
  const Chunk before = destination;
  EXPECT_EQ(ReadVoiceChunk(appState.voiceTail, destination.data()), -1);
  EXPECT_EQ(destination, before);
  // A new recording releases the previous chunks.
  ASSERT_EQ(InitVoiceStore(), 0);
  EXPECT_EQ(appState.voiceChunkCount.load(), 0);
  EXPECT_TRUE(IsEmptyList(appState.voiceHead, appState.voiceTail));
}

}  // namespace
