#include "transfer/server_connection.h"

#include <gtest/gtest.h>

#include <string>

#include "state/app_state.h"
#include "support/fake_transfer_server.h"
#include "support/scoped_env.h"

namespace {

using murmel::test::FakeTransferServer;
using murmel::test::ScopedEnv;

// The cancel test is asked after start-up, after each lookup and after each socket: the
// test counts the questions, can act at one of them and can answer "cancel" at one.
int questions = 0;
int cancelAtQuestion = 0;
int actAtQuestion = 0;
FakeTransferServer* serverToStart = nullptr;

BOOL ScriptedCancelTest() {
  ++questions;
  if (questions == actAtQuestion && serverToStart != nullptr) serverToStart->Listen();
  return questions == cancelAtQuestion ? TRUE : FALSE;
}

class OpenServerConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    questions = 0;
    cancelAtQuestion = 0;
    actAtQuestion = 0;
    serverToStart = nullptr;
  }
  void TearDown() override { SetServerEndpoint(nullptr, 0); }

  // WinSock was released as often as it was started.
  static bool WinsockReleased() {
    if (WSACleanup() == 0) return false;
    return WSAGetLastError() == WSANOTINITIALISED;
  }
};

std::u16string HostText() {
  const Text<256> host = appState.serverHost.Copy();
  return std::u16string(host.data());
}

TEST_F(OpenServerConnectionTest, ConnectsToTheConfiguredEndpointAndRecordsTheHost) {
  FakeTransferServer server;
  server.SendFrame("TROK").WaitForClose().Start();
  SetServerEndpoint(u"localhost", server.port());
  const SOCKET s = OpenServerConnection(ScriptedCancelTest);
  ASSERT_NE(s, INVALID_SOCKET);
  EXPECT_EQ(questions, 3);
  EXPECT_EQ(HostText(), u"localhost");
  char opening[9] = {};
  int got = 0;
  while (got < 9) {
    const int n = recv(s, opening + got, 9 - got, 0);
    ASSERT_GT(n, 0);
    got += n;
  }
  CloseServerConnection(s);
  EXPECT_TRUE(server.Finish());
  EXPECT_EQ(server.connections(), 1);
  EXPECT_TRUE(WinsockReleased());
}

// The port refuses until the fifth question, asked after the second socket was made:
// the second attempt connects.
TEST_F(OpenServerConnectionTest, SecondAttemptConnectsAfterARefusal) {
  FakeTransferServer server(0, /*listen_now=*/false);
  ASSERT_TRUE(server.bound());
  server.Reply("TROK").Start();
  serverToStart = &server;
  actAtQuestion = 5;
  SetServerEndpoint(u"localhost", server.port());
  const SOCKET s = OpenServerConnection(ScriptedCancelTest);
  ASSERT_NE(s, INVALID_SOCKET);
  EXPECT_EQ(questions, 5);
  const char frame[] = {0x00, 0x03, 0x61, 'x', 0x00, 0x00};  // any bytes reach the server
  EXPECT_EQ(send(s, frame, 3, 0), 3);
  CloseServerConnection(s);
  server.Finish();
  EXPECT_EQ(server.connections(), 1);
  EXPECT_TRUE(WinsockReleased());
}

TEST_F(OpenServerConnectionTest, TwoRefusalsFailAndReleaseWinsock) {
  FakeTransferServer refusing(0, /*listen_now=*/false);
  ASSERT_TRUE(refusing.bound());
  SetServerEndpoint(u"localhost", refusing.port());
  EXPECT_EQ(OpenServerConnection(ScriptedCancelTest), INVALID_SOCKET);
  EXPECT_EQ(questions, 5) << "exactly two attempts";
  EXPECT_TRUE(WinsockReleased());
}

TEST_F(OpenServerConnectionTest, CancelAtEachQuestionConnectsNowhere) {
  for (int cancelAt = 1; cancelAt <= 5; ++cancelAt) {
    SetUp();
    cancelAtQuestion = cancelAt;
    FakeTransferServer refusing(0, /*listen_now=*/false);
    SetServerEndpoint(u"localhost", refusing.port());
    EXPECT_EQ(OpenServerConnection(ScriptedCancelTest), INVALID_SOCKET) << cancelAt;
    EXPECT_EQ(questions, cancelAt);
    EXPECT_TRUE(WinsockReleased()) << cancelAt;
  }
  // Cancelling after the socket was made stops before connect: the listener sees nothing.
  SetUp();
  cancelAtQuestion = 3;
  FakeTransferServer server;
  server.WaitForClose().Start();
  SetServerEndpoint(u"localhost", server.port());
  EXPECT_EQ(OpenServerConnection(ScriptedCancelTest), INVALID_SOCKET);
  EXPECT_EQ(server.connections(), 0);
}

// A host starting with a digit is a dotted address, looked up in reverse.
TEST_F(OpenServerConnectionTest, DottedAddressIsResolvedInReverse) {
  FakeTransferServer server;
  server.WaitForClose().Start();
  SetServerEndpoint(u"127.0.0.1", server.port());
  const SOCKET s = OpenServerConnection(ScriptedCancelTest);
  ASSERT_NE(s, INVALID_SOCKET);
  EXPECT_EQ(HostText(), u"127.0.0.1");
  CloseServerConnection(s);
  server.Finish();
  EXPECT_EQ(server.connections(), 1);
}

// 192.0.2.1 is a documentation address without a name: the reverse lookup fails, so no
// socket is made; likewise for a name that does not resolve. Neither is tried twice.
TEST_F(OpenServerConnectionTest, FailedLookupAttemptsNoConnection) {
  for (const WCHAR* host : {u"192.0.2.1", u"no-such-host.invalid"}) {
    SetUp();
    SetServerEndpoint(host, 9);
    EXPECT_EQ(OpenServerConnection(ScriptedCancelTest), INVALID_SOCKET);
    EXPECT_EQ(questions, 1) << "only the question after start-up";
    EXPECT_TRUE(WinsockReleased());
  }
}

// The real port, where the machine allows binding it (root, or inside `unshare -rn`).
TEST_F(OpenServerConnectionTest, UsesPort110ByDefault) {
  FakeTransferServer server(SERVER_PORT);
  if (!server.bound()) {
    GTEST_SKIP() << "port 110 cannot be bound here (" << server.bind_error()
                 << "); run as root or inside `unshare -rn` to cover it";
  }
  server.AcceptGreeting().Start();
  SetServerEndpoint(u"localhost", 0);
  EXPECT_EQ(ServerPort(), 110);
  const SOCKET s = OpenServerConnection(nullptr);
  ASSERT_NE(s, INVALID_SOCKET);
  CloseServerConnection(s);
  server.Finish();
  EXPECT_EQ(server.connections(), 1);
}

TEST(ServerEndpoint, ConfiguredHostThenEnvironmentThenBuildDefault) {
  {
    ScopedEnv unset("MURMELPOST_SERVER_HOST", nullptr);
    SetServerEndpoint(nullptr, 0);
    EXPECT_EQ(std::u16string(DefaultServerHost().data()), u"localhost");
    EXPECT_EQ(ServerPort(), SERVER_PORT);
  }
  {
    ScopedEnv set("MURMELPOST_SERVER_HOST", "mail.example.org");
    EXPECT_EQ(std::u16string(DefaultServerHost().data()), u"mail.example.org");
    SetServerEndpoint(u"10.0.0.7", 2110);
    EXPECT_EQ(std::u16string(DefaultServerHost().data()), u"10.0.0.7");
    EXPECT_EQ(ServerPort(), 2110);
  }
  SetServerEndpoint(nullptr, 0);
}

}  // namespace
