#include <winsock2.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "support/fake_transfer_server.h"

namespace {

using murmel::test::FakeTransferServer;
using murmel::test::SocketPair;

// WinSock started around each test, as the client does around each connection.
class Winsock : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(WSAStartup(0x0202, &data_), 0); }
  void TearDown() override { WSACleanup(); }
  WSADATA data_{};
};

SOCKET ConnectToLoopback(std::uint16_t port) {
  const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return s;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = inet_addr("127.0.0.1");
  if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = WSAGetLastError();
    closesocket(s);
    WSASetLastError(error);
    return INVALID_SOCKET;
  }
  return s;
}

TEST(WinsockStartup, ReportsVersionsAndCountsNestedStarts) {
  WSADATA data{};
  ASSERT_EQ(WSAStartup(0x0202, &data), 0);
  EXPECT_EQ(data.wVersion, 0x0202);
  EXPECT_EQ(data.wHighVersion, 0x0202);
  ASSERT_EQ(WSAStartup(0x0202, &data), 0);
  EXPECT_EQ(WSACleanup(), 0);
  EXPECT_EQ(WSACleanup(), 0);
  // Fully cleaned up, nothing works until the next start.
  EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  EXPECT_EQ(socket(AF_INET, SOCK_STREAM, 0), INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  EXPECT_EQ(gethostbyname("localhost"), nullptr);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

// Without MSG_NOSIGNAL a send after the peer closed would kill the whole test program.
TEST_F(Winsock, PeerCloseReadsAsZeroAndLaterSendsFailWithoutASignal) {
  FakeTransferServer server;
  server.Close().Start();
  const SOCKET s = ConnectToLoopback(server.port());
  ASSERT_NE(s, INVALID_SOCKET);
  char byte = 0;
  ASSERT_EQ(recv(s, &byte, 1, 0), 0);
  int result = 0;
  for (int attempt = 0; attempt < 1000 && result != SOCKET_ERROR; ++attempt) {
    result = send(s, "x", 1, 0);
    if (result != SOCKET_ERROR) std::this_thread::yield();
  }
  EXPECT_EQ(result, SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
  closesocket(s);
}

// The codes the client tells apart: no data yet, and nobody listening.
TEST_F(Winsock, FailuresSetTheCodesTheClientTellsApart) {
  SocketPair nonblocking(SocketPair::Kind::kStream, /*nonblocking_client=*/true);
  char byte = 0;
  EXPECT_EQ(recv(nonblocking.client(), &byte, 1, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  FakeTransferServer refusing(0, /*listen_now=*/false);
  ASSERT_TRUE(refusing.bound());
  SetLastError(0);
  EXPECT_EQ(ConnectToLoopback(refusing.port()), INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(WSAECONNREFUSED));
}

// Two transfer threads may resolve at once: each must read its own answer.
TEST_F(Winsock, TwoThreadsResolveAtOnceWithoutMixingAnswers) {
  const auto resolve_many = [](const char* name, int* mismatches) {
    const ULONG expected = inet_addr(name == std::string("localhost") ? "127.0.0.1" : name);
    for (int i = 0; i < 300; ++i) {
      const hostent* host = gethostbyname(name);
      *mismatches += host == nullptr || host->h_length != 4 ||
                     std::memcmp(host->h_addr_list[0], &expected, 4) != 0;
    }
  };
  int mismatches[2] = {};
  std::thread a(resolve_many, "localhost", &mismatches[0]);
  std::thread b(resolve_many, "127.0.0.2", &mismatches[1]);
  a.join();
  b.join();
  EXPECT_EQ(mismatches[0] + mismatches[1], 0);
}

TEST_F(Winsock, LoopbackResolvesByAddressAndAnUnknownNameFails) {
  const ULONG loopback = inet_addr("127.0.0.1");
  const hostent* by_address = gethostbyaddr(reinterpret_cast<const char*>(&loopback), 4, AF_INET);
  ASSERT_NE(by_address, nullptr) << WSAGetLastError();
  EXPECT_EQ(std::memcmp(by_address->h_addr_list[0], &loopback, 4), 0);
  EXPECT_EQ(by_address->h_addr_list[1], nullptr);

  // Without a reachable name server (a private network namespace) the answer is "try
  // again" instead of "not found"; both are failures the caller cannot connect with.
  EXPECT_EQ(gethostbyname("no-such-host.invalid"), nullptr);
  EXPECT_TRUE(WSAGetLastError() == WSAHOST_NOT_FOUND || WSAGetLastError() == WSATRY_AGAIN)
      << WSAGetLastError();
}

TEST_F(Winsock, InetAddrParsesDottedForms) {
  // Network byte order: the first part in the lowest address.
  for (const auto& [text, host_order] :
       {std::pair{"127.0.0.1", 0x7F000001u}, std::pair{"10.1", 0x0A000001u},
        std::pair{"10.1.258", 0x0A010102u}, std::pair{"0x7f.0.0.1", 0x7F000001u},
        std::pair{"010.0.0.1", 0x08000001u}, std::pair{"16909060", 0x01020304u},
        std::pair{"255.255.255.255", 0xFFFFFFFFu}}) {
    const ULONG address = inet_addr(text);
    EXPECT_EQ(reinterpret_cast<const BYTE*>(&address)[0], host_order >> 24) << text;
    EXPECT_EQ(ntohl(address), host_order) << text;
  }
  for (const char* bad : {"", "256.0.0.1", "1.2.3.4.5", "1.2.3.", ".1.2.3", "localhost", "1.2.3.4 ",
                          "08.1.1.1", "0x", "1.2.65536", "4294967296"}) {
    EXPECT_EQ(inet_addr(bad), INADDR_NONE) << '"' << bad << '"';
  }
}

}  // namespace
