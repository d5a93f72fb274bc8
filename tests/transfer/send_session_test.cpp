#include "transfer/send_session.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "audio/wav_header.h"
#include "session_test_support.h"
#include "support/scoped_env.h"

namespace {

using namespace session_test;

Bytes Text(std::string_view text) { return ToBytes(text); }

Bytes WavHeaderFor(DWORD pcmBytes) {
  Bytes header(WAV_HEADER_SIZE);
  WriteWavHeader(header.data(), static_cast<LONG>(pcmBytes));
  return header;
}

std::vector<Bytes> Envelope(std::string_view subject = "Hi") {
  return {Text(kGreeting),
          kAnyLocale,
          Text("TYPE_DEF"),
          Text("SEND\"Ann Example\" <ann@example.com>"),
          Text("RECIbob@example.com"),
          Concat("TITL", Text(subject))};
}

std::vector<Bytes> Join(std::vector<Bytes> first, const std::vector<Bytes>& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

const Bytes kCheck = Text("CHCK_DEF2.80.1234");
const Bytes kFinish = Text("FINI");

class SendSessionTest : public SessionTest {};

// Each kind of content goes payload for payload, with the progress it shows. A text is
// counted with its NUL but sent without it; every upload goes in frames of at most 1024
// bytes; the attachment's progress counts only its own bytes.
TEST_F(SendSessionTest, MessagesGoPayloadForPayloadWithTheirProgress) {
  const std::string longText(1023, 'a');  // the most the text box holds: still one frame
  Bytes doubleByteText;                   // HIRAGANA A in code page 932
  for (int i = 0; i < 1023; ++i) doubleByteText.insert(doubleByteText.end(), {0x82, 0xA0});
  const Bytes attachment = Pattern(3000, 5);
  const Bytes small = Pattern(100);
  struct Case {
    const char* name;
    std::function<void()> compose;
    std::vector<Bytes> uploads;
    std::vector<int> progress;
    DWORD total;
    const char* locale = "C";
    const char* subject = "Hi";
  };
  const Case cases[] = {
      {"text and voice",
       [] {
         SetText(u"Hello");
         Record(1);
       },
       {Text("FLSZ5"), Text("FLTP1"), Text("FLBGHello"), Text("FLSZ580"), Text("FLTP0"),
        Concat("FLBG", WavHeaderFor(PCM_BUFFER_SIZE)), Concat("FLCN", Pattern(VOICE_CHUNK_SIZE, 1))},
       {1, 3, 5, 7, 9, 10, 100, 100, 100},
       586},
      {"short text", [] { SetText(u"Hello"); },
       {Text("FLSZ5"), Text("FLTP1"), Text("FLBGHello")}, {1, 3, 5, 7, 9, 85, 100}, 6},
      // 10 + 1023 x 90 / 1024 = 99
      {"full text box", [&] { SetText(Wide(longText)); },
       {Text("FLSZ1023"), Text("FLTP1"), Concat("FLBG", Text(longText))}, {1, 3, 5, 7, 9, 99, 100},
       1024},
      // More than the usual 2024 bytes, still sent whole: 10 + 1024 x 90 / 2047 = 55
      {"double-byte text", [] { SetText(std::u16string(1023, u'\u3042')); },
       Join({Text("FLSZ2046"), Text("FLTP1")}, DataFrames(doubleByteText, {1024, 1022})),
       {1, 3, 5, 7, 9, 55, 99, 100}, 2047, "ja_JP.UTF-8"},
      // The last chunk is shown twice.
      {"voice", [] { Record(3); },
       {Text("FLSZ1620"), Text("FLTP0"), Concat("FLBG", WavHeaderFor(3 * PCM_BUFFER_SIZE)),
        Concat("FLCN", Pattern(VOICE_CHUNK_SIZE, 1)), Concat("FLCN", Pattern(VOICE_CHUNK_SIZE, 2)),
        Concat("FLCN", Pattern(VOICE_CHUNK_SIZE, 3))},
       {1, 3, 5, 7, 9, 42, 71, 100, 100, 100}, 1620},
      {"recording without chunks", [] { Record(0); },
       {Text("FLSZ60"), Text("FLTP0"), Concat("FLBG", WavHeaderFor(0))}, {1, 3, 5, 7, 9, 100, 100},
       60},
      {"empty attachment", [&] { Attach("report.pdf", {}); },
       {Text("FLSZ0"), Text("FLTP10"), Text("FLNMreport.pdf"), Text("FLBG")}, {1, 3, 5, 7, 9, 10, 100},
       0},
      {"attachment of one frame", [&] { Attach("report.pdf", Pattern(1024)); },
       Join({Text("FLSZ1024"), Text("FLTP10"), Text("FLNMreport.pdf")},
            DataFrames(Pattern(1024), {1024})),
       {1, 3, 5, 7, 9, 100, 100}, 1024},
      {"attachment", [&] { Attach("report.pdf", attachment); },
       Join({Text("FLSZ3000"), Text("FLTP10"), Text("FLNMreport.pdf")},
            DataFrames(attachment, {1024, 1024, 952})),
       {1, 3, 5, 7, 9, 40, 71, 100, 100}, 3000},
      // 10 + 1000 x 90 / 1101 = 91, then 10 + 100 x 90 / 1101 = 18
      {"attachment after a long text",
       [&] {
         SetText(Wide(std::string(1000, 't')));
         Attach("a.bin", small);
       },
       {Text("FLSZ1000"), Text("FLTP1"), Concat("FLBG", Text(std::string(1000, 't'))),
        Text("FLSZ100"), Text("FLTP10"), Text("FLNMa.bin"), Concat("FLBG", small)},
       {1, 3, 5, 7, 9, 91, 18, 100}, 1101},
      {"empty subject", [] {
         SetText(u"x");
         appState.subjectText.clear();
       },
       {Text("FLSZ1"), Text("FLTP1"), Text("FLBGx")}, {1, 3, 5, 7, 9, 55, 100}, 2, "C", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FreshForm();
    const murmel::test::ScopedEnv locale("LC_ALL", c.locale);
    c.compose();
    FakeTransferServer server;
    Script(server, MessageReplies(c.uploads.size()));

    EXPECT_EQ(Serve(server, &Send), 1);
    EXPECT_EQ(appState.transferTotal, c.total);
    EXPECT_EQ(AfterEnvelope(server, Envelope(c.subject)), Join(c.uploads, {kCheck, kFinish}));
    EXPECT_EQ(progressShown, c.progress);
    EXPECT_EQ(std::u16string(appState.progressText.data()), u"100%");
    EXPECT_EQ(server.connections(), 1);
  }
}

// Whichever exchange the server refuses, the session sends nothing more, closes the
// connection and fails; the form stays for another try.
TEST_F(SendSessionTest, RefusalAtAnyStepEndsTheSession) {
  const char* const steps[] = {"opening", "greeting", "LOCL", "TYPE", "SEND", "RECI", "TITL",
                               "FLSZ",    "FLTP",     "FLBG", "FLSZ", "FLTP", "FLNM", "FLBG",
                               "FLCN",    "FLSZ",     "FLTP", "FLBG", "FLCN", "CHCK", "FINI"};
  for (std::size_t refused = 0; refused < std::size(steps); ++refused) {
    SCOPED_TRACE(steps[refused]);
    FreshForm();
    SetText(u"Hello");
    Attach("a.bin", Pattern(1025));
    Record(1);
    FakeTransferServer server;
    server.SendFrame(refused == 0 ? "NOPE" : "TROK");
    for (std::size_t i = 1; i <= refused; ++i) server.Reply(i == refused ? "FAIL" : "TROK");
    // Accepts whatever a faulty client sends next, so that it fails here instead of waiting.
    server.AnswerEveryFrame("TROK");

    EXPECT_EQ(Serve(server, &Send), 0);
    EXPECT_EQ(server.frames().size(), refused);
    EXPECT_EQ(server.answered(), 0);
    EXPECT_EQ(appState.recordingAvailable.load(), 1);
    EXPECT_FALSE(appState.attachmentPath.empty());
  }
}

TEST_F(SendSessionTest, UnreadableAttachmentFailsBeforeConnecting) {
  appState.attachmentPath = Wide(dir_ / "missing.bin").c_str();
  appState.attachmentName = u"missing.bin";
  FakeTransferServer server;
  server.Start();
  SetServerEndpoint(u"localhost", server.port());

  EXPECT_EQ(Send(), 0);
  EXPECT_EQ(server.connections(), 0);
  EXPECT_TRUE(progressShown.empty());
}

}  // namespace
