#include "transfer/command_exchange.h"

#include <gtest/gtest.h>

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

// A connection to the fake server through the client's own connection code.
class Connection {
 public:
  explicit Connection(const FakeTransferServer& server) {
    SetServerEndpoint(u"localhost", server.port());
    socket_ = OpenServerConnection(nullptr);
  }
  ~Connection() {
    if (socket_ != INVALID_SOCKET) CloseServerConnection(socket_);
    SetServerEndpoint(nullptr, 0);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  operator SOCKET() const { return socket_; }  // NOLINT(google-explicit-constructor)

 private:
  SOCKET socket_ = INVALID_SOCKET;
};

std::string Payload(std::initializer_list<int> bytes) {
  return std::string(bytes.begin(), bytes.end());
}

const char* const kGreeting = "HELLCEMurmelpost _DEF:2.80.1234";

TEST(SendGreeting, SendsTheThirtyOneByteGreetingAfterTheOpeningWord) {
  FakeTransferServer server;
  server.SendFrame("TROK").Reply("TROK").WaitForClose().Start();
  {
    Connection connection(server);
    ASSERT_NE(connection, INVALID_SOCKET);
    EXPECT_EQ(SendGreeting(connection), 0);
  }
  EXPECT_TRUE(server.Finish());
  const auto frames = server.frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].payload, ToBytes(kGreeting));
  EXPECT_EQ(frames[0].payload.size(), 31u);
  EXPECT_TRUE(frames[0].crc_ok);
  EXPECT_TRUE(server.raw().empty());
}

// Anything but an exact "TROK" as the opening word ends the greeting before the device
// has sent a byte.
TEST(SendGreeting, RefusedOpeningWordsSendNothing) {
  const Bytes openings[] = {EncodeFrame("TROK?"), EncodeFrame("RETR"), EncodeFrame("TRO"),
                            EncodeFrame("NOPE"), EncodeFrame(""),
                            // a frame too large for the greeting's 128 bytes
                            EncodeFrame(std::string(200, 'T'))};
  for (const auto& opening : openings) {
    FakeTransferServer server;
    server.SendRaw(opening).WaitForClose().Start();
    {
      Connection connection(server);
      ASSERT_NE(connection, INVALID_SOCKET);
      EXPECT_EQ(SendGreeting(connection), -1) << ToHex(opening);
    }
    EXPECT_TRUE(server.Finish());
    EXPECT_TRUE(server.raw().empty()) << ToHex(opening);
  }
}

TEST(SendGreeting, ClassifiesTheReplyToTheGreeting) {
  const struct {
    std::vector<std::string> replies;
    int result;
    std::size_t greetings;
  } cases[] = {
      {{"RETR", "RETR", "TROK"}, 0, 3},
      {{"NOPE"}, -1, 1},
      {{"TROK!"}, -1, 1},
      {{"RETR", "TRO"}, -1, 2},
  };
  for (const auto& c : cases) {
    FakeTransferServer server;
    server.SendFrame("TROK");
    for (const auto& reply : c.replies) server.Reply(reply);
    server.WaitForClose().Start();
    {
      Connection connection(server);
      EXPECT_EQ(SendGreeting(connection), c.result) << c.replies.back();
    }
    server.Finish();
    EXPECT_EQ(server.payloads(), std::vector<std::string>(c.greetings, kGreeting));
  }
}

TEST(SendGreeting, AcceptsAnOpeningWordTrickledByteByByte) {
  FakeTransferServer server;
  server.Trickle(EncodeFrame("TROK")).Reply("TROK").WaitForClose().Start();
  {
    Connection connection(server);
    EXPECT_EQ(SendGreeting(connection), 0);
  }
  EXPECT_TRUE(server.Finish());
}

TEST(SendCommand, ResendsTheIdenticalPayloadOnRetr) {
  FakeTransferServer server;
  server.Reply("RETR").Reply("RETR").Reply("TROK").WaitForClose().Start();
  {
    Connection connection(server);
    EXPECT_EQ(SendSender(connection, u"\"Ann Example\" <ann@example.org>"), 0);
  }
  EXPECT_TRUE(server.Finish());
  EXPECT_EQ(server.payloads(),
            std::vector<std::string>(3, "SEND\"Ann Example\" <ann@example.org>"));
}

// Plain commands need exactly "TROK"; the three queries accept data after it.
TEST(Commands, ReplyLengthsPerCommand) {
  using Operation = int (*)(SOCKET);
  const Operation title = [](SOCKET s) { return SendTitle(s, u"Hello"); };
  const Operation type = [](SOCKET s) { return SendClientType(s); };
  const Operation finish = [](SOCKET s) { return SendFinish(s); };
  const Operation size = [](SOCKET s) { return SendFileSize(s, 1); };
  const Operation check = [](SOCKET s) { return CheckClient(s) < 0 ? -1 : 0; };
  const struct {
    const char* what;
    Operation operation;
    std::string reply;
    int result;
  } cases[] = {
      {"TITL", title, "TROK", 0},    {"TITL", title, "TROKx", -1}, {"TITL", title, "TRO", -1},
      {"TITL", title, "NOPE", -1},   {"TYPE", type, "TROK", 0},    {"TYPE", type, "TROKx", 0},
      {"TYPE", type, "TRO", -1},     {"TYPE", type, "NOPEx", -1},  {"FINI", finish, "TROK", 0},
      {"FINI", finish, "TROKx", -1}, {"FLSZ", size, "TROK ", -1},  {"CHCK", check, "TROK123", 0},
      {"CHCK", check, "", -1},
  };
  for (const auto& c : cases) {
    FakeTransferServer server;
    server.Reply(c.reply).WaitForClose().Start();
    {
      Connection connection(server);
      EXPECT_EQ(c.operation(connection), c.result) << c.what << " answered \"" << c.reply << '"';
    }
    server.Finish();
    ASSERT_EQ(server.frames().size(), 1u) << c.what;
    EXPECT_EQ(server.payloads()[0].substr(0, 4), c.what);
  }
}

TEST(CheckClient, AnswersFromTheFirstDataByte) {
  const struct {
    std::string reply;
    int result;
  } cases[] = {
      {Payload({'T', 'R', 'O', 'K', 0x01}), 1},
      {"TROK1", 0},
      {"TROK", 0},
      {Payload({'T', 'R', 'O', 'K', 0x00, 0x01}), 0},
      // Data beyond the 16-byte buffer is cut, not written past it.
      {"TROK\x01" + std::string(900, 'z'), 1},
      {"NOPE\x01", -1},
  };
  for (const auto& c : cases) {
    FakeTransferServer server;
    server.Reply(c.reply).WaitForClose().Start();
    {
      Connection connection(server);
      EXPECT_EQ(CheckClient(connection), c.result) << ToHex(ToBytes(c.reply));
    }
    server.Finish();
    EXPECT_EQ(server.payloads(), std::vector<std::string>{"CHCK_DEF2.80.1234"});
  }
}

TEST(QueryCommand, CopiesReplyDataAndCutsItToTheBuffer) {
  FakeTransferServer server;
  server.Reply("TROKabc").Reply("TROK0123456789abcdefghij").Reply("TROK").WaitForClose().Start();
  {
    Connection connection(server);
    BYTE data[QUERY_DATA_SIZE];
    EXPECT_EQ(QueryCommand(connection, u"TYPE_DEFignored", 8, data), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(data), "abc");
    EXPECT_EQ(QueryCommand(connection, u"TYPE_DEF", 8, data), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(data), "0123456789abcde");
    EXPECT_EQ(QueryCommand(connection, u"TYPE_DEF", 8, data), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(data), "");
    EXPECT_EQ(QueryCommand(connection, u"TYPE_DEF", 2000, data), -1);
  }
  server.Finish();
  EXPECT_EQ(server.payloads(), std::vector<std::string>(3, "TYPE_DEF"));
}

TEST(Queries, RetrResendsTheWholeCommand) {
  ScopedEnv tz("TZ", "UTC");
  appState.sex = u"Mr.";
  FakeTransferServer server;
  server.Reply("RETR").Reply("TROK").Reply("RETR").Reply("TROK").WaitForClose().Start();
  {
    Connection connection(server);
    EXPECT_EQ(SendLocale(connection), 0);
    EXPECT_EQ(CheckClient(connection), 0);
  }
  server.Finish();
  const auto frames = server.frames();
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0].payload.size(), 21u);
  EXPECT_EQ(frames[1].payload, frames[0].payload);
  EXPECT_EQ(server.payloads()[2], "CHCK_DEF2.80.1234");
  EXPECT_EQ(server.payloads()[3], "CHCK_DEF2.80.1234");
}

// The record SendLocale sends with the time zone TZ.
std::string LocaleRecordIn(const char* tz) {
  ScopedEnv zone("TZ", tz);
  FakeTransferServer server;
  server.Reply("TROKignored data").WaitForClose().Start();
  {
    Connection connection(server);
    EXPECT_EQ(SendLocale(connection), 0) << tz;
  }
  server.Finish();
  return server.frames().size() == 1 ? ToHex(server.frames()[0].payload) : "no record";
}

// Only the zone's Bias goes into the record, never what daylight time adds to it.
TEST(SendLocale, CarriesTheZonesBiasAndWhetherDaylightTimeIsOn) {
  ScopedEnv locale("LC_ALL", "C");
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

TEST(FileCommands, PayloadsCarryTheirArguments) {
  FakeTransferServer server;
  for (int i = 0; i < 7; ++i) server.Reply("TROK");
  server.WaitForClose().Start();
  {
    Connection connection(server);
    EXPECT_EQ(SendFileSize(connection, 4096), 0);
    EXPECT_EQ(SendFileType(connection, UPLOAD_FILE), 0);
    EXPECT_EQ(SendFileName(connection, u"report.pdf"), 0);
    EXPECT_EQ(SendFileType(connection, UPLOAD_VOICE), 0);
    EXPECT_EQ(SendFileType(connection, UPLOAD_TEXT), 0);
    EXPECT_EQ(SendFileType(connection, UPLOAD_PICTURE), 0);
    EXPECT_EQ(SendFileSize(connection, 0), 0);
  }
  server.Finish();
  EXPECT_EQ(server.payloads(), (std::vector<std::string>{"FLSZ4096", "FLTP10", "FLNMreport.pdf",
                                                         "FLTP0", "FLTP1", "FLTP4", "FLSZ0"}));
}

TEST(SendEnvelope, SendsInOrderAndStopsAtTheFirstRefusal) {
  FakeTransferServer complete;
  complete.Reply("TROK").Reply("TROK").Reply("TROK").WaitForClose().Start();
  {
    Connection connection(complete);
    EXPECT_EQ(SendEnvelope(connection, u"\"A\" <a@b.c>", u"x@y.z;p@q.r", u"Hi"), 0);
  }
  complete.Finish();
  EXPECT_EQ(complete.payloads(),
            (std::vector<std::string>{"SEND\"A\" <a@b.c>", "RECIx@y.z;p@q.r", "TITLHi"}));

  FakeTransferServer refusing;
  refusing.Reply("TROK").Reply("NOPE").WaitForClose().Start();
  {
    Connection connection(refusing);
    EXPECT_EQ(SendEnvelope(connection, u"s", u"r", u"t"), -1);
  }
  refusing.Finish();
  EXPECT_EQ(refusing.payloads(), (std::vector<std::string>{"SENDs", "RECIr"}));
  EXPECT_TRUE(refusing.raw().empty()) << "nothing may follow a refusal";
}

// A text command is at most 1023 characters; a longer one is refused, never cut short.
TEST(SendCommand, RefusesCommandsThatDoNotFitTheBuffer) {
  FakeTransferServer server;
  server.Reply("TROK").WaitForClose().Start();
  {
    Connection connection(server);
    EXPECT_EQ(SendRecipients(connection, std::u16string(1020, u'r').c_str()), -1);
    EXPECT_EQ(SendRecipients(connection, std::u16string(5000, u'r').c_str()), -1);
    EXPECT_EQ(SendRecipients(connection, std::u16string(1019, u'r').c_str()), 0);
  }
  server.Finish();
  ASSERT_EQ(server.frames().size(), 1u);
  EXPECT_EQ(server.frames()[0].payload.size(), 1023u);
  EXPECT_TRUE(server.raw().empty());
}

TEST(SendCommand, ConvertsTextToTheAnsiCodePage) {
  ScopedEnv locale("LC_ALL", "C");
  FakeTransferServer server;
  server.Reply("TROK").WaitForClose().Start();
  {
    Connection connection(server);
    EXPECT_EQ(SendTitle(connection, u"Gr\u00fc\u00dfe \u2192 \u20ac"), 0);
  }
  server.Finish();
  ASSERT_EQ(server.frames().size(), 1u);
  EXPECT_EQ(ToHex(server.frames()[0].payload), ToHex(ToBytes("TITLGr\xFC\xDF"
                                                             "e ? \x80")));
}

BOOL cancelAnswer = FALSE;
int cancelQuestions = 0;
BOOL CountingCancelTest() {
  ++cancelQuestions;
  return cancelAnswer;
}

TEST(SendDataFrame, SendsTheWordAndDataAndNeedsAnExactTrok) {
  const struct {
    std::string reply;
    int result;
    int questions;
  } cases[] = {
      {"TROK", 0, 1},         {"NOPE", -1, 1}, {"TROKx", -1, 0},
      {"TROK123456", -1, 0},   // ten bytes: fits the 12-byte buffer, wrong length
      {"TROK1234567", -1, 0},  // eleven bytes: too large for the buffer already
  };
  const BYTE data[] = {0x00, 0xFF, 0x10, 'a'};
  for (const auto& c : cases) {
    cancelAnswer = FALSE;
    cancelQuestions = 0;
    FakeTransferServer server;
    server.Reply(c.reply).WaitForClose().Start();
    {
      Connection connection(server);
      EXPECT_EQ(SendDataFrame(connection, "FLCN", data, sizeof data, CountingCancelTest), c.result)
          << c.reply;
    }
    server.Finish();
    EXPECT_EQ(cancelQuestions, c.questions) << c.reply;
    ASSERT_EQ(server.frames().size(), 1u);
    EXPECT_EQ(ToHex(server.frames()[0].payload), "46 4C 43 4E 00 FF 10 61");
  }
}

TEST(SendDataFrame, CancelIsAskedAfterEachReplyAndEndsTheRetries) {
  cancelAnswer = FALSE;
  cancelQuestions = 0;
  const std::vector<BYTE> data(DATA_FRAME_MAX, 0x5A);
  FakeTransferServer server;
  server.Reply("RETR").Reply("RETR").Reply("TROK").WaitForClose().Start();
  {
    Connection connection(server);
    EXPECT_EQ(SendDataFrame(connection, "FLBG", data.data(), DATA_FRAME_MAX, CountingCancelTest),
              0);
  }
  server.Finish();
  EXPECT_EQ(cancelQuestions, 3);
  const auto frames = server.frames();
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].payload.size(), 4u + DATA_FRAME_MAX);
  EXPECT_EQ(frames[2].payload, frames[0].payload);

  // Cancelled after a "RETR": the frame is not sent again, even a "TROK" would not count.
  for (const char* reply : {"RETR", "TROK"}) {
    cancelAnswer = TRUE;
    cancelQuestions = 0;
    FakeTransferServer cancelled;
    cancelled.Reply(reply).WaitForClose().Start();
    {
      Connection connection(cancelled);
      EXPECT_EQ(SendDataFrame(connection, "FLBG", data.data(), 10, CountingCancelTest), -1);
    }
    cancelled.Finish();
    EXPECT_EQ(cancelQuestions, 1);
    EXPECT_EQ(cancelled.frames().size(), 1u);
    EXPECT_TRUE(cancelled.raw().empty());
  }
}

TEST(SendDataFrame, RefusesMoreThanOneBlockOfData) {
  FakeTransferServer server;
  server.WaitForClose().Start();
  {
    Connection connection(server);
    const std::vector<BYTE> data(DATA_FRAME_MAX + 1, 1);
    EXPECT_EQ(SendDataFrame(connection, "FLCN", data.data(), DATA_FRAME_MAX + 1, nullptr), -1);
  }
  server.Finish();
  EXPECT_TRUE(server.raw().empty());
}

}  // namespace
