#include "transfer/server_connection.h"

#include <gtest/gtest.h>

#include <string>

#include "state/app_state.h"
#include "support/fake_transfer_server.h"

namespace {

using murmel::test::FakeTransferServer;

// The cancel test is asked after start-up, after each lookup and after each socket: the
// test counts the questions and answers "cancel" at one of them.
int questions = 0;
int cancelAtQuestion = 0;

BOOL ScriptedCancelTest() { return ++questions == cancelAtQuestion ? TRUE : FALSE; }

class OpenServerConnectionTest : public ::testing::Test {
 protected:
  void TearDown() override { SetServerEndpoint(nullptr, 0); }

  // Opens a connection to `host` and `port`, cancelling at the question given (0 for never).
  static SOCKET Open(const WCHAR* host, std::uint16_t port, int cancelAt = 0) {
    questions = 0;
    cancelAtQuestion = cancelAt;
    SetServerEndpoint(host, port);
    return OpenServerConnection(ScriptedCancelTest);
  }

  // WinSock was released as often as it was started.
  static bool WinsockReleased() {
    return WSACleanup() != 0 && WSAGetLastError() == WSANOTINITIALISED;
  }
};

// A name or a dotted address (looked up in reverse), recorded as the host.
TEST_F(OpenServerConnectionTest, ConnectsToTheConfiguredEndpointAndRecordsTheHost) {
  for (const WCHAR* host : {u"localhost", u"127.0.0.1"}) {
    SCOPED_TRACE(std::string(host, host + std::char_traits<char16_t>::length(host)));
    FakeTransferServer server;
    server.WaitForClose().Start();
    const SOCKET s = Open(host, server.port());
    ASSERT_NE(s, INVALID_SOCKET);
    EXPECT_EQ(questions, 3);
    EXPECT_EQ(std::u16string(appState.serverHost.Copy().data()), host);
    CloseServerConnection(s);
    EXPECT_TRUE(server.Finish());
    EXPECT_EQ(server.connections(), 1);
    EXPECT_TRUE(WinsockReleased());
  }
}

// Two refusals fail after exactly two attempts; a cancel at any question connects nowhere;
// a failed lookup (192.0.2.1 is a documentation address without a name) makes no socket
// and is not tried twice. WinSock is released each time.
TEST_F(OpenServerConnectionTest, FailuresAndCancelsConnectNowhere) {
  const FakeTransferServer refusing(0, /*listen_now=*/false);
  ASSERT_TRUE(refusing.bound());
  const struct {
    const WCHAR* host;
    std::uint16_t port;
    int cancelAt;
    int questions;
  } cases[] = {
      {u"localhost", refusing.port(), 0, 5},
      {u"localhost", refusing.port(), 1, 1},
      {u"localhost", refusing.port(), 2, 2},
      {u"localhost", refusing.port(), 3, 3},
      {u"localhost", refusing.port(), 4, 4},
      {u"localhost", refusing.port(), 5, 5},
      {u"192.0.2.1", 9, 0, 1},
      {u"no-such-host.invalid", 9, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "cancel at " << c.cancelAt << ", port " << c.port);
    EXPECT_EQ(Open(c.host, c.port, c.cancelAt), INVALID_SOCKET);
    EXPECT_EQ(questions, c.questions);
    EXPECT_TRUE(WinsockReleased());
  }
  // Cancelling after the socket was made stops before connect: the listener sees nothing.
  FakeTransferServer server;
  server.WaitForClose().Start();
  EXPECT_EQ(Open(u"localhost", server.port(), 3), INVALID_SOCKET);
  EXPECT_EQ(server.connections(), 0);
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

}  // namespace
