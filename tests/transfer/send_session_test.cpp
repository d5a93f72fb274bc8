#include "transfer/send_session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/wav_header.h"
#include "session_test_support.h"
#include "support/fake_transfer_server.h"
#include "support/scoped_env.h"

namespace {

using murmel::test::ToHex;
using session_test::Accepting;
using session_test::Bytes;
using session_test::Concat;
using session_test::FakeTransferServer;
using session_test::kCheckReply;
using session_test::kGreeting;
using session_test::kSender;
using session_test::Pattern;
using session_test::ProgressLog;
using session_test::Script;
using session_test::SessionTest;
using session_test::ToBytes;

using session_test::kEnvelopeFrames;
using session_test::MessageReplies;

Bytes Text(std::string_view text) { return ToBytes(text); }

Bytes WavHeaderFor(DWORD pcmBytes) {
  Bytes header(WAV_HEADER_SIZE);
  WriteWavHeader(header.data(), static_cast<LONG>(pcmBytes));
  return header;
}

// The frames the device sent, checked against the opening that every message shares;
// returns what came after the envelope.
std::vector<Bytes> AfterEnvelope(const FakeTransferServer& server, std::string_view subject) {
  std::vector<Bytes> payloads;
  for (const auto& frame : server.frames()) {
    EXPECT_TRUE(frame.header_ok && frame.crc_ok);
    payloads.push_back(frame.payload);
  }
  if (payloads.size() < kEnvelopeFrames) {
    ADD_FAILURE() << "only " << payloads.size() << " frames";
    return {};
  }
  EXPECT_EQ(payloads[0], Text(kGreeting));
  EXPECT_EQ(payloads[1].size(), 21u);
  EXPECT_EQ(Bytes(payloads[1].begin(), payloads[1].begin() + 4), Text("LOCL"));
  EXPECT_EQ(payloads[2], Text("TYPE_DEF"));
  EXPECT_EQ(payloads[3], Text(kSender));
  EXPECT_EQ(payloads[4], Text("RECIbob@example.com"));
  EXPECT_EQ(payloads[5], Concat("TITL", Text(subject)));
  return {payloads.begin() + kEnvelopeFrames, payloads.end()};
}

const Bytes kCheck = Text("CHCK_DEF2.80.1234");
const Bytes kFinish = Text("FINI");

TEST_F(SessionTest, CompleteMessageGoesPayloadForPayloadWithItsProgress) {
  appState.messageText = u"Hello";
  appState.hasMessageText = 1;
  Record(1);
  FakeTransferServer server;
  Script(server, MessageReplies(7));
  server.Start();
  UseServer(server);

  EXPECT_EQ(Send(), 1);
  ASSERT_TRUE(server.Finish());
  EXPECT_EQ(appState.transferTotal, 586u);
  const std::vector<Bytes> expected = {Text("FLSZ5"),
                                       Text("FLTP1"),
                                       Text("FLBGHello"),
                                       Text("FLSZ580"),
                                       Text("FLTP0"),
                                       Concat("FLBG", WavHeaderFor(PCM_BUFFER_SIZE)),
                                       Concat("FLCN", Pattern(VOICE_CHUNK_SIZE, 1)),
                                       kCheck,
                                       kFinish};
  EXPECT_EQ(AfterEnvelope(server, "Hi"), expected);
  EXPECT_EQ(ProgressLog::Values(), (std::vector<int>{1, 3, 5, 7, 9, 10, 100, 100, 100}));
  EXPECT_EQ(std::string(appState.progressText.data(), appState.progressText.data() + 4),
            std::string("100%"));
  EXPECT_EQ(server.connections(), 1);
}

// A text is counted with its NUL but sent without it, in frames of at most 1024 bytes.
TEST_F(SessionTest, TextOnlyMessagesGoWithoutTheirNul) {
  struct Case {
    std::size_t length;
    std::vector<Bytes> uploads;
    std::vector<int> progress;
  };
  const std::string shortText = "Hello";
  // The most the text box holds: one frame still, at 10 + 1023 x 90 / 1024 = 99.
  const std::string longText(1023, 'a');
  const Case cases[] = {
      {5, {Text("FLSZ5"), Text("FLTP1"), Text("FLBGHello")}, {1, 3, 5, 7, 9, 85, 100}},
      {1023,
       {Text("FLSZ1023"), Text("FLTP1"), Concat("FLBG", Text(longText))},
       {1, 3, 5, 7, 9, 99, 100}},
  };
  for (const auto& c : cases) {
    SetUp();
    const std::string text = c.length == 5 ? shortText : longText;
    appState.messageText = session_test::Wide(text).c_str();
    appState.hasMessageText = 1;
    FakeTransferServer server;
    Script(server, MessageReplies(c.uploads.size()));
    server.Start();
    UseServer(server);

    EXPECT_EQ(Send(), 1) << c.length;
    ASSERT_TRUE(server.Finish());
    std::vector<Bytes> expected = c.uploads;
    expected.push_back(kCheck);
    expected.push_back(kFinish);
    EXPECT_EQ(AfterEnvelope(server, "Hi"), expected) << c.length;
    EXPECT_EQ(ProgressLog::Values(), c.progress) << c.length;
  }
}

// A full text box in a double-byte code page needs more than the usual 2024 bytes: it is
// still sent whole, never cut or overrun.
TEST_F(SessionTest, DoubleByteTextLongerThanTheFixedBufferIsSentWhole) {
  const murmel::test::ScopedEnv locale("LC_ALL", "ja_JP.UTF-8");
  appState.messageText = std::u16string(1023, u'\u3042').c_str();  // HIRAGANA A, 82 A0
  appState.hasMessageText = 1;
  Bytes converted;
  for (int i = 0; i < 1023; ++i) converted.insert(converted.end(), {0x82, 0xA0});
  FakeTransferServer server;
  Script(server, MessageReplies(4));
  server.Start();
  UseServer(server);

  EXPECT_EQ(Send(), 1);
  ASSERT_TRUE(server.Finish());
  EXPECT_EQ(appState.transferTotal, 2047u);
  const std::vector<Bytes> expected = {
      Text("FLSZ2046"),
      Text("FLTP1"),
      Concat("FLBG", Bytes(converted.begin(), converted.begin() + 1024)),
      Concat("FLCN", Bytes(converted.begin() + 1024, converted.end())),
      kCheck,
      kFinish};
  EXPECT_EQ(AfterEnvelope(server, "Hi"), expected);
  // 10 + 1024 x 90 / 2047 = 55, then 10 + 2046 x 90 / 2047 = 99
  EXPECT_EQ(ProgressLog::Values(), (std::vector<int>{1, 3, 5, 7, 9, 55, 99, 100}));
}

TEST_F(SessionTest, VoiceOnlyMessageShowsEachChunkAndTheLastOneTwice) {
  Record(3);
  FakeTransferServer server;
  Script(server, MessageReplies(6));
  server.Start();
  UseServer(server);

  EXPECT_EQ(Send(), 1);
  ASSERT_TRUE(server.Finish());
  EXPECT_EQ(appState.transferTotal, 1620u);
  const std::vector<Bytes> expected = {Text("FLSZ1620"),
                                       Text("FLTP0"),
                                       Concat("FLBG", WavHeaderFor(3 * PCM_BUFFER_SIZE)),
                                       Concat("FLCN", Pattern(VOICE_CHUNK_SIZE, 1)),
                                       Concat("FLCN", Pattern(VOICE_CHUNK_SIZE, 2)),
                                       Concat("FLCN", Pattern(VOICE_CHUNK_SIZE, 3)),
                                       kCheck,
                                       kFinish};
  EXPECT_EQ(AfterEnvelope(server, "Hi"), expected);
  EXPECT_EQ(ProgressLog::Values(), (std::vector<int>{1, 3, 5, 7, 9, 42, 71, 100, 100, 100}));
}

TEST_F(SessionTest, RecordingWithoutChunksSendsOnlyTheHeader) {
  Record(0);
  EXPECT_EQ(VoiceImageSize(), 60u);
  FakeTransferServer server;
  Script(server, MessageReplies(3));
  server.Start();
  UseServer(server);

  EXPECT_EQ(Send(), 1);
  ASSERT_TRUE(server.Finish());
  const std::vector<Bytes> expected = {Text("FLSZ60"), Text("FLTP0"),
                                       Concat("FLBG", WavHeaderFor(0)), kCheck, kFinish};
  EXPECT_EQ(AfterEnvelope(server, "Hi"), expected);
  EXPECT_EQ(ProgressLog::Values(), (std::vector<int>{1, 3, 5, 7, 9, 100, 100}));
}

TEST_F(SessionTest, AttachmentsGoUnderTheirNameInFramesOfAtMost1024Bytes) {
  struct Case {
    std::size_t size;
    std::vector<std::size_t> frames;  // data bytes per frame
  };
  const Case cases[] = {{0, {0}}, {1024, {1024}}, {1025, {1024, 1}}, {3000, {1024, 1024, 952}}};
  for (const auto& c : cases) {
    SetUp();
    const Bytes contents = Pattern(c.size, 5);
    Attach("report.pdf", contents);
    FakeTransferServer server;
    Script(server, MessageReplies(3 + c.frames.size()));
    server.Start();
    UseServer(server);

    EXPECT_EQ(Send(), 1) << c.size;
    ASSERT_TRUE(server.Finish());
    std::vector<Bytes> expected = {Text("FLSZ" + std::to_string(c.size)), Text("FLTP10"),
                                   Text("FLNMreport.pdf")};
    std::size_t offset = 0;
    for (std::size_t i = 0; i < c.frames.size(); ++i) {
      const Bytes part(contents.begin() + static_cast<long>(offset),
                       contents.begin() + static_cast<long>(offset + c.frames[i]));
      expected.push_back(Concat(i == 0 ? "FLBG" : "FLCN", part));
      offset += c.frames[i];
    }
    expected.push_back(kCheck);
    expected.push_back(kFinish);
    EXPECT_EQ(AfterEnvelope(server, "Hi"), expected) << c.size;
    EXPECT_EQ(ProgressLog::Values().back(), 100) << c.size;
  }
}

// The attachment's progress counts only its own bytes, so it falls back after a text.
TEST_F(SessionTest, AttachmentProgressFallsBackAfterALongText) {
  appState.messageText = session_test::Wide(std::string(1000, 't')).c_str();
  appState.hasMessageText = 1;
  Attach("a.bin", Pattern(100));
  FakeTransferServer server;
  Script(server, MessageReplies(3 + 4));
  server.Start();
  UseServer(server);

  EXPECT_EQ(Send(), 1);
  ASSERT_TRUE(server.Finish());
  EXPECT_EQ(appState.transferTotal, 1101u);
  // 10 + 1000 x 90 / 1101 = 91, then 10 + 100 x 90 / 1101 = 18
  EXPECT_EQ(ProgressLog::Values(), (std::vector<int>{1, 3, 5, 7, 9, 91, 18, 100}));
}

TEST_F(SessionTest, EmptySubjectIsTheBareWord) {
  appState.subjectText.clear();
  appState.messageText = u"x";
  appState.hasMessageText = 1;
  FakeTransferServer server;
  Script(server, MessageReplies(3));
  server.Start();
  UseServer(server);

  EXPECT_EQ(Send(), 1);
  ASSERT_TRUE(server.Finish());
  AfterEnvelope(server, "");
  EXPECT_EQ(server.frames().at(5).payload.size(), 4u);
}

// "RETR" to a data frame brings the same bytes again, and the progress moves only once.
TEST_F(SessionTest, RetriedDataFramesAreSentAgainUnchanged) {
  Attach("a.bin", Pattern(1025, 3));
  Record(1);
  std::vector<Bytes> replies = Accepting(kEnvelopeFrames + 3);  // FLSZ FLTP FLNM
  replies.push_back(Text("RETR"));                              // FLBG
  replies.push_back(Text("TROK"));
  replies.push_back(Text("TROK"));  // FLCN
  replies.push_back(Text("TROK"));  // FLSZ
  replies.push_back(Text("TROK"));  // FLTP
  replies.push_back(Text("TROK"));  // FLBG header
  replies.push_back(Text("RETR"));  // FLCN chunk
  replies.push_back(Text("RETR"));
  replies.push_back(Text("TROK"));
  replies.push_back(kCheckReply);
  replies.push_back(Text("TROK"));
  FakeTransferServer server;
  Script(server, replies);
  server.Start();
  UseServer(server);

  EXPECT_EQ(Send(), 1);
  ASSERT_TRUE(server.Finish());
  const auto sent = AfterEnvelope(server, "Hi");
  ASSERT_EQ(sent.size(), 14u);
  EXPECT_EQ(sent[3], sent[4]);
  const Bytes attachment = Pattern(1025, 3);
  EXPECT_EQ(sent[3], Concat("FLBG", Bytes(attachment.begin(), attachment.begin() + 1024)));
  EXPECT_EQ(sent[9], Concat("FLCN", Pattern(VOICE_CHUNK_SIZE, 1)));
  EXPECT_EQ(sent[9], sent[10]);
  EXPECT_EQ(sent[10], sent[11]);
  // total 1025 + 580 = 1605: 10 + 1024 x 90 / 1605, 10 + 1025 x 90 / 1605, then 100 twice
  EXPECT_EQ(ProgressLog::Values(), (std::vector<int>{1, 3, 5, 7, 9, 67, 67, 100, 100, 100}));
}

// Whichever exchange the server refuses, the session sends nothing more, closes the
// connection and fails.
TEST_F(SessionTest, RefusalAtAnyStepEndsTheSession) {
  const char* const steps[] = {"opening", "greeting", "LOCL", "TYPE", "SEND", "RECI", "TITL",
                               "FLSZ",    "FLTP",     "FLBG", "FLSZ", "FLTP", "FLNM", "FLBG",
                               "FLCN",    "FLSZ",     "FLTP", "FLBG", "FLCN", "CHCK", "FINI"};
  const std::size_t count = sizeof steps / sizeof steps[0];
  for (std::size_t refused = 0; refused < count; ++refused) {
    SetUp();
    appState.messageText = u"Hello";
    appState.hasMessageText = 1;
    Attach("a.bin", Pattern(1025));
    Record(1);
    FakeTransferServer server;
    server.SendFrame(refused == 0 ? "NOPE" : "TROK");
    for (std::size_t i = 1; i <= refused; ++i) server.Reply(i == refused ? "FAIL" : "TROK");
    server.WaitForClose();
    server.Start();
    UseServer(server);

    EXPECT_EQ(Send(), 0) << steps[refused];
    EXPECT_TRUE(server.Finish()) << steps[refused];
    EXPECT_EQ(server.frames().size(), refused) << steps[refused];
    EXPECT_TRUE(server.raw().empty()) << steps[refused] << ": " << ToHex(server.raw());
    // The form stays for another try.
    EXPECT_EQ(appState.recordingAvailable.load(), 1);
    EXPECT_FALSE(appState.attachmentPath.empty());
  }
}

TEST_F(SessionTest, UnreadableAttachmentFailsBeforeConnecting) {
  appState.attachmentPath = session_test::Wide(dir_ / "missing.bin").c_str();
  appState.attachmentName = u"missing.bin";
  FakeTransferServer server;
  server.Start();
  UseServer(server);

  EXPECT_EQ(Send(), 0);
  EXPECT_EQ(server.connections(), 0);
  EXPECT_TRUE(ProgressLog::Values().empty());
}

}  // namespace
