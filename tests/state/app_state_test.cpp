#include "state/app_state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <thread>

namespace {

// Builds the record over memory full of garbage, so a field without an initial value shows.
struct GarbageBackedState {
  GarbageBackedState() {
    std::memset(storage.get(), 0xA5, sizeof(AppState));
    state = new (storage.get()) AppState;
  }
  ~GarbageBackedState() { state->~AppState(); }
  std::unique_ptr<unsigned char[]> storage{new unsigned char[sizeof(AppState)]};
  AppState* state{};
};

TEST(AppStateTest, EveryFieldStartsEmptyExceptCompressStop) {
  GarbageBackedState holder;
  const AppState& s = *holder.state;

  EXPECT_EQ(s.compressStop.load(), 1);

  const void* handles[] = {s.instance,
                           s.mainWindow,
                           s.menu,
                           s.customPictureThread.load(),
                           s.sendThread.load(),
                           s.pcmQueueHead,
                           s.pcmQueueTail,
                           s.pcmQueueLock,
                           s.voiceHead,
                           s.voiceTail,
                           s.compressThread.load(),
                           s.playCursor,
                           s.waveBuffers[0],
                           s.waveBuffers[1],
                           s.waveBuffers[2]};
  for (const void* handle : handles) EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(s.panelDefaultProc, nullptr);

  const long long numbers[] = {s.bitmapIdOffset,
                               s.hasMessageText,
                               s.customPictureMode,
                               s.customPictureThreadId,
                               s.sendThreadId,
                               s.cancelRequested.load(),
                               s.recorderState.load(),
                               s.waveDeviceOpen,
                               s.recordingAvailable.load(),
                               s.playbackPending,
                               s.buffersDone,
                               s.toSelStart,
                               s.toSelEnd,
                               s.transferTotal,
                               s.voiceChunkCount,
                               s.ringIndex,
                               s.recordedBytes,
                               s.streamedBytes};
  for (long long number : numbers) EXPECT_EQ(number, 0);

  const WCHAR* texts[] = {s.recipientsText, s.subjectText,
                          s.messageText,    s.attachmentPath,
                          s.attachmentName, s.customPicturePath,
                          s.progressText,   s.email,
                          s.name,           s.sex,
                          s.city,           s.state,
                          s.country};
  for (const WCHAR* text : texts) EXPECT_EQ(text[0], u'\0');
  EXPECT_TRUE(s.serverHost.Copy().empty());

  for (BYTE b : s.playChunk) ASSERT_EQ(b, 0);
}

TEST(AppStateTest, TextFieldsHoldTheirCapacityIncludingTheNul) {
  // Other parts size their copies and formats by these; a smaller field truncates input.
  AppState s;
  EXPECT_EQ(s.recipientsText.capacity(), 1024u);
  EXPECT_EQ(s.attachmentPath.capacity(), 260u);
  EXPECT_EQ(s.progressText.capacity(), sizeof("100%"));
  EXPECT_EQ(s.sex.capacity(), 10u);
  EXPECT_EQ(s.country.capacity(), 128u);
  EXPECT_EQ(s.email.capacity(), 256u);
}

TEST(SharedTextTest, CopyTruncatesToCapacityAndStaysTerminated) {
  SharedText<256> host;
  std::u16string longName(400, u'h');
  host.Assign(longName.c_str());
  Text<256> copy = host.Copy();
  EXPECT_EQ(copy.length(), 255u);
  EXPECT_EQ(std::u16string(copy), std::u16string(255, u'h'));
}

TEST(SharedTextTest, ConcurrentWritersAndReadersNeverSeeAMixedValue) {
  // Two transfer threads may set the host at once; a reader must get one whole name.
  SharedText<256> host;
  const std::u16string first(200, u'a');
  const std::u16string second(50, u'b');
  host.Assign(first.c_str());

  auto writer = [&host](const std::u16string& value) {
    for (int i = 0; i < 2000; ++i) host.Assign(value.c_str());
  };
  std::thread a(writer, first);
  std::thread b(writer, second);
  int mixed = 0;
  for (int i = 0; i < 2000; ++i) {
    std::u16string seen(host.Copy());
    if (seen != first && seen != second) ++mixed;
  }
  a.join();
  b.join();
  EXPECT_EQ(mixed, 0);
}

}  // namespace
