#include "transfer/command_exchange.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "state/app_state.h"
#include "support/fake_transfer_server.h"
#include "support/scoped_env.h"
#include "transfer/server_connection.h"

namespace {

using murmel::test::Bytes;
using murmel::test::EncodeFrame;
using murmel::test::FakeTransferServer;
using murmel::test::ScopedEnv;
using murmel::test::ToBytes;
using murmel::test::ToHex;
using Strings = std::vector<std::string>;

const char* const kGreeting = "HELLCEMurmelpost _DEF:2.80.1234";

// Answers each frame with the next of `replies`, then reads until the client closes; runs
// `talk` over the client's own connection to it and lets the script end.
void Talk(FakeTransferServer& server, const Strings& replies,
          const std::function<void(SOCKET)>& talk) {
  for (const auto& reply : replies) server.Reply(reply);
  server.WaitForClose().Start();
  SetServerEndpoint(u"localhost", server.port());
  const SOCKET s = OpenServerConnection(nullptr);
  EXPECT_NE(s, INVALID_SOCKET);
  if (s != INVALID_SOCKET) {
    talk(s);
    CloseServerConnection(s);
  }
  SetServerEndpoint(nullptr, 0);
  server.Finish();
}

// Anything but an exact "TROK" as the opening word ends the greeting before the device
// has sent a byte; after it, "RETR" asks for the greeting again and only "TROK" succeeds.
TEST(SendGreeting, NeedsAnExactTrokBeforeAndAfterTheGreeting) {
  const std::string tooLarge(200, 'T');  // more than the greeting's 128 bytes
  const struct {
    Bytes opening;
    Strings replies;
    int result;
    std::size_t greetings;
  } cases[] = {
      {EncodeFrame("TROK"), {"TROK"}, 0, 1},
      {EncodeFrame("TROK"), {"RETR", "RETR", "TROK"}, 0, 3},
      {EncodeFrame("TROK"), {"NOPE"}, -1, 1},
      {EncodeFrame("TROK"), {"TROK!"}, -1, 1},
      {EncodeFrame("TROK"), {"RETR", "TRO"}, -1, 2},
      {EncodeFrame("TROK?"), {}, -1, 0},
      {EncodeFrame("RETR"), {}, -1, 0},
      {EncodeFrame("TRO"), {}, -1, 0},
      {EncodeFrame(tooLarge), {}, -1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ToHex(c.opening) + " then " + std::to_string(c.replies.size()) + " replies");
    FakeTransferServer server;
    server.SendRaw(c.opening);
    Talk(server, c.replies, [&](SOCKET s) { EXPECT_EQ(SendGreeting(s), c.result); });
    EXPECT_EQ(server.payloads(), Strings(c.greetings, kGreeting));
    EXPECT_TRUE(server.raw().empty());
  }
}

// Plain commands need exactly "TROK"; the queries accept data after it, and the check
// answers from the first data byte (data beyond its 16-byte buffer is cut, not written
// past). "RETR" sends the identical payload again.
TEST(Commands, EachCommandTakesTheRepliesItMayAndSendsItsPayload) {
  using Operation = int (*)(SOCKET);
  const Operation sender = [](SOCKET s) { return SendSender(s, u"\"Ann\" <ann@example.org>"); };
  const Operation title = [](SOCKET s) { return SendTitle(s, u"Hello"); };
  const Operation type = [](SOCKET s) { return SendClientType(s); };
  const Operation finish = [](SOCKET s) { return SendFinish(s); };
  const Operation size = [](SOCKET s) { return SendFileSize(s, 1); };
  const Operation check = [](SOCKET s) { return CheckClient(s); };
  // A text command is at most 1023 characters: a longer one is refused, never cut short.
  static const std::u16string fits(1019, u'r');
  static const std::u16string tooMany(1020, u'r');
  const Operation longest = [](SOCKET s) { return SendRecipients(s, fits.c_str()); };
  const Operation tooLong = [](SOCKET s) { return SendRecipients(s, tooMany.c_str()); };
  // Text goes out in the ANSI code page.
  const Operation ansi = [](SOCKET s) { return SendTitle(s, u"Gr\u00fc\u00dfe \u2192 \u20ac"); };
  const ScopedEnv locale("LC_ALL", "C");
  const std::string checkTrue("TROK\x01", 5);
  const struct {
    std::string payload;
    Operation operation;
    Strings replies;
    int result;
  } cases[] = {
      {"SEND\"Ann\" <ann@example.org>", sender, {"RETR", "RETR", "TROK"}, 0},
      {"TITLHello", title, {"TROK"}, 0},
      {"TITLHello", title, {"TROKx"}, -1},
      {"TITLHello", title, {"NOPE"}, -1},
      {"RECI" + std::string(1019, 'r'), longest, {"TROK"}, 0},
      {"", tooLong, {}, -1},
      {"TITLGr\374\337e ? \200", ansi, {"TROK"}, 0},
      {"TYPE_DEF", type, {"TROK"}, 0},
      {"TYPE_DEF", type, {"RETR", "TROKx"}, 0},
      {"TYPE_DEF", type, {"TRO"}, -1},
      {"TYPE_DEF", type, {"NOPEx"}, -1},
      {"FINI", finish, {"TROK"}, 0},
      {"FLSZ1", size, {"TROK "}, -1},
      {"CHCK_DEF2.80.1234", check, {checkTrue}, 1},
      {"CHCK_DEF2.80.1234", check, {"RETR", "TROK1"}, 0},
      {"CHCK_DEF2.80.1234", check, {"TROK"}, 0},
      {"CHCK_DEF2.80.1234", check, {std::string("TROK\x00\x01", 6)}, 0},
      {"CHCK_DEF2.80.1234", check, {checkTrue + std::string(900, 'z')}, 1},
      {"CHCK_DEF2.80.1234", check, {"NOPE\x01"}, -1},
      {"CHCK_DEF2.80.1234", check, {""}, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.payload.substr(0, 20) + " answered " + testing::PrintToString(c.replies));
    FakeTransferServer server;
    Talk(server, c.replies, [&](SOCKET s) { EXPECT_EQ(c.operation(s), c.result); });
    EXPECT_EQ(server.payloads(), Strings(c.replies.size(), c.payload));
  }
}

// The record SendLocale sends with the time zone TZ, asked again once.
std::string LocaleRecordIn(const char* tz) {
  const ScopedEnv zone("TZ", tz);
  FakeTransferServer server;
  Talk(server, {"RETR", "TROKignored data"}, [&](SOCKET s) { EXPECT_EQ(SendLocale(s), 0) << tz; });
  const auto frames = server.frames();
  return frames.size() == 2 && frames[0] == frames[1] ? ToHex(frames[0]) : "no record";
}

// Only the zone's Bias goes into the record, never what daylight time adds to it.
TEST(SendLocale, CarriesTheZonesBiasAndWhetherDaylightTimeIsOn) {
  const ScopedEnv locale("LC_ALL", "C");
  appState.sex = u"Ms.";
  // Code page 1252, no daylight time, bias 0, language 0x0409, salutation "Ms.".
  EXPECT_EQ(LocaleRecordIn("UTC"),
            "4C 4F 43 4C 00 00 04 E4 00 00 00 00 00 00 00 00 00 09 00 01 01");
  // Two zones like Berlin's, an hour east of UTC with an hour of daylight time, one in
  // the first half of the year and one in the second, changing at the same instants:
  // whenever this runs, one is in daylight time and the other in standard time.
  const std::set<std::string> records = {LocaleRecordIn("AST-1ADT,J1/1,J182/1"),
                                         LocaleRecordIn("BST-1BDT,J182/0,J365/26")};
  EXPECT_EQ(records, (std::set<std::string>{
                         "4C 4F 43 4C 00 00 04 E4 00 FF FF F1 F0 00 00 00 00 09 00 01 01",
                         "4C 4F 43 4C 00 00 04 E4 01 FF FF F1 F0 00 00 00 00 09 00 01 01"}));
}

BOOL cancelAnswer = FALSE;
int cancelQuestions = 0;
BOOL CountingCancelTest() {
  ++cancelQuestions;
  return cancelAnswer;
}

// Cancel is asked after each reply: it ends the retries and even a "TROK" does not count.
TEST(SendDataFrame, SendsTheWordAndDataAndNeedsAnExactTrok) {
  const struct {
    Strings replies;
    int size;
    BOOL cancel;
    int result;
    int questions;
    std::size_t frames;
  } cases[] = {
      {{"TROK"}, 4, FALSE, 0, 1, 1},
      {{"NOPE"}, 4, FALSE, -1, 1, 1},
      {{"TROKx"}, 4, FALSE, -1, 0, 1},
      {{"TROK123456"}, 4, FALSE, -1, 0, 1},   // ten bytes: fits the 12-byte buffer
      {{"TROK1234567"}, 4, FALSE, -1, 0, 1},  // eleven bytes: too large for it already
      {{"RETR", "RETR", "TROK"}, DATA_FRAME_MAX, FALSE, 0, 3, 3},
      {{"RETR"}, 4, TRUE, -1, 1, 1},
      {{"TROK"}, 4, TRUE, -1, 1, 1},
      {{}, DATA_FRAME_MAX + 1, FALSE, -1, 0, 0},  // more than one block
  };
  const std::vector<BYTE> block(DATA_FRAME_MAX + 1, 0x5A);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.replies.size() << " replies, size " << c.size
                                    << (c.cancel ? ", cancelled" : ""));
    cancelAnswer = c.cancel;
    cancelQuestions = 0;
    const BYTE small[] = {0x00, 0xFF, 0x10, 'a'};
    const BYTE* data = c.size == 4 ? small : block.data();
    FakeTransferServer server;
    Talk(server, c.replies, [&](SOCKET s) {
      EXPECT_EQ(SendDataFrame(s, "FLCN", data, c.size, CountingCancelTest), c.result);
    });
    EXPECT_EQ(cancelQuestions, c.questions);
    Bytes payload = ToBytes("FLCN");
    payload.insert(payload.end(), data, data + c.size);
    EXPECT_EQ(server.frames(), std::vector<Bytes>(c.frames, payload));
    EXPECT_TRUE(server.raw().empty());
  }
}

}  // namespace
