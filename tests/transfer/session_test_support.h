// What the send and picture session tests share: a clean application state, the
// progress the session showed, files on disk and a fake server that answers a script.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "audio/voice_store.h"
#include "state/app_state.h"
#include "support/app_state_reset.h"
#include "support/fake_transfer_server.h"
#include "support/temp_dir.h"
#include "transfer/send_session.h"
#include "transfer/server_connection.h"

namespace session_test {

using murmel::test::Bytes;
using murmel::test::FakeTransferServer;
using murmel::test::ToBytes;

inline const char* const kGreeting = "HELLCEMurmelpost _DEF:2.80.1234";
// The check's "TROK" carries one data byte.
inline const Bytes kCheckReply = {'T', 'R', 'O', 'K', 1};
// Stands for the locale record in an expected envelope: its bytes depend on the machine.
inline const Bytes kAnyLocale = ToBytes("LOCL");

// Every percentage the session showed, in order; the sessions run on the test's thread.
inline std::vector<int> progressShown;
inline void RecordProgress(int percent) { progressShown.push_back(percent); }

inline std::u16string Wide(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

// Bytes whose value depends on their position, so a misplaced or repeated byte shows.
inline Bytes Pattern(std::size_t size, int seed = 0) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((i * 7 + seed) % 251);
  return bytes;
}

inline Bytes Concat(std::string_view word, const Bytes& bytes) {
  Bytes joined = ToBytes(word);
  joined.insert(joined.end(), bytes.begin(), bytes.end());
  return joined;
}

// The data frames of `contents` cut at `sizes`: "FLBG" first, then "FLCN".
inline std::vector<Bytes> DataFrames(const Bytes& contents, const std::vector<std::size_t>& sizes) {
  std::vector<Bytes> frames;
  auto from = contents.begin();
  for (const std::size_t size : sizes) {
    frames.push_back(Concat(frames.empty() ? "FLBG" : "FLCN", Bytes(from, from + long(size))));
    from += long(size);
  }
  return frames;
}

// Opens with "TROK", then answers each frame with the next reply, then reads until the
// client closes.
inline void Script(FakeTransferServer& server, const std::vector<Bytes>& replies) {
  server.SendFrame("TROK");
  for (const auto& reply : replies) server.Reply(reply);
  server.WaitForClose();
}

// Replies for a whole message: its envelope (greeting, LOCL, TYPE, SEND, RECI, TITL),
// `uploadFrames` accepted upload frames, the check and "FINI".
inline std::vector<Bytes> MessageReplies(std::size_t uploadFrames) {
  std::vector<Bytes> replies(6 + uploadFrames, ToBytes("TROK"));
  replies.push_back(kCheckReply);
  replies.push_back(ToBytes("TROK"));
  return replies;
}

// The frames the device sent after `envelope`, which they must begin with.
inline std::vector<Bytes> AfterEnvelope(const FakeTransferServer& server,
                                        const std::vector<Bytes>& envelope) {
  std::vector<Bytes> payloads = server.frames();
  if (payloads.size() < envelope.size()) {
    ADD_FAILURE() << "only " << payloads.size() << " frames";
    return {};
  }
  for (std::size_t i = 0; i < envelope.size(); ++i) {
    if (envelope[i] == kAnyLocale) {
      EXPECT_EQ(payloads[i].size(), 21u);
      EXPECT_EQ(Bytes(payloads[i].begin(), payloads[i].begin() + 4), kAnyLocale);
    } else {
      EXPECT_EQ(payloads[i], envelope[i]) << "envelope frame " << i;
    }
  }
  return {payloads.begin() + long(envelope.size()), payloads.end()};
}

// A clean application state with a complete profile, pointing at the fake server.
class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override { FreshForm(); }
  void TearDown() override {
    SetTransferProgressObserver(nullptr);
    SetServerEndpoint(nullptr, 0);
    FreeVoiceStore();
  }

  // The profile filled in and a message to bob@example.com titled "Hi", nothing else.
  static void FreshForm() {
    FreeVoiceStore();
    ResetAppState();
    appState.name = u"Ann Example";
    appState.email = u"ann@example.com";
    appState.sex = u"Ms.";
    appState.recipientsText = u"bob@example.com";
    appState.subjectText = u"Hi";
    progressShown.clear();
    SetTransferProgressObserver(&RecordProgress);
  }

  // Starts the server's script, points the client at it, runs `session` and waits for the
  // script to end; the session's result.
  template <typename Session>
  static auto Serve(FakeTransferServer& server, Session&& session) {
    server.Start();
    SetServerEndpoint(u"localhost", server.port());
    const auto result = session();
    EXPECT_TRUE(server.Finish()) << "the server's script did not run to its end";
    return result;
  }

  // A recording of `chunks` voice chunks, as the recorder leaves it.
  static void Record(int chunks) {
    ASSERT_EQ(InitVoiceStore(), 0);
    for (int k = 0; k < chunks; ++k)
      ASSERT_EQ(AppendVoiceChunk(Pattern(VOICE_CHUNK_SIZE, k + 1).data()), 1);
    appState.recordingAvailable = 1;
    appState.recordedBytes = static_cast<DWORD>(chunks) * PCM_BUFFER_SIZE;
  }

  static void SetText(const std::u16string& text) {
    appState.messageText = text.c_str();
    appState.hasMessageText = 1;
  }

  void WriteFile(const std::string& name, const Bytes& bytes) const {
    std::ofstream(dir_ / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
  }

  void Attach(const std::string& name, const Bytes& bytes) {
    WriteFile(name, bytes);
    appState.attachmentPath = Wide(dir_ / name).c_str();
    appState.attachmentName = Wide(name).c_str();
  }

  // Runs the session as the send thread would, with the state's inputs.
  static int Send() {
    const VoiceStoreView store{appState.voiceHead, appState.voiceTail};
    return SendVoiceMessage(appState.recordingAvailable != 0 ? &store : nullptr,
                            appState.hasMessageText != 0 ? appState.messageText.data() : nullptr,
                            appState.attachmentPath.empty() ? FALSE : TRUE,
                            u"\"Ann Example\" <ann@example.com>", appState.recipientsText,
                            appState.subjectText);
  }

  murmel::test::TempDir dir_;
};

}  // namespace session_test
