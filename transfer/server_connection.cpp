#include "transfer/server_connection.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "state/app_state.h"

namespace {

SharedText<256> configuredHost;
std::atomic<int> configuredPort{0};

constexpr int HOST_NAME_BYTES = 1024;

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Resolves the host named in serverHost: a name forward, a dotted address in reverse.
const hostent* LookUpServerHost() {
  const Text<256> host = appState.serverHost.Copy();
  char hostName[HOST_NAME_BYTES];
  if (WideCharToMultiByte(CP_ACP, 0, host, -1, hostName, HOST_NAME_BYTES, nullptr, nullptr) == 0) {
    return nullptr;
  }
  if (IsAsciiLetter(hostName[0])) return gethostbyname(hostName);
  const ULONG address = inet_addr(hostName);
  return gethostbyaddr(reinterpret_cast<const char*>(&address), 4, AF_INET);
}

sockaddr_in ServerAddress(const hostent& host) {
  sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = host.h_addrtype;
  const std::size_t length = host.h_length < 0 ? 0
                                               : std::min(static_cast<std::size_t>(host.h_length),
                                                          sizeof address.sin_addr);
  std::memcpy(&address.sin_addr, host.h_addr_list[0], length);
  address.sin_port = htons(static_cast<USHORT>(ServerPort()));
  return address;
}

SOCKET FailOpening() {
  WSACleanup();
  return INVALID_SOCKET;
}

}  // namespace

void SetServerEndpoint(const WCHAR* host, int port) {
  configuredHost.Assign(host != nullptr ? host : u"");
  configuredPort = port;
}

Text<256> DefaultServerHost() {
  Text<256> host = configuredHost.Copy();
  if (!host.empty()) return host;
  const char* fromEnvironment = std::getenv("MURMELPOST_SERVER_HOST");
  if (fromEnvironment != nullptr && *fromEnvironment != '\0' &&
      MultiByteToWideChar(CP_UTF8, 0, fromEnvironment, -1, host, Text<256>::capacity()) > 0) {
    return host;
  }
  return MURMELPOST_SERVER_HOST_DEFAULT;
}

int ServerPort() {
  const int port = configuredPort.load();
  return port != 0 ? port : SERVER_PORT;
}

SOCKET OpenServerConnection(CancelTest cancelTest) {
  appState.serverHost.Assign(DefaultServerHost());
  WSADATA wsaData;
  if (WSAStartup(MAKEWORD(2, 2), &wsaData) != 0) return INVALID_SOCKET;
  if (IsCancelled(cancelTest)) return FailOpening();

  for (int attempt = 1;; ++attempt) {
    // A failed lookup is not tried again.
    const hostent* host = LookUpServerHost();
    if (host == nullptr) return FailOpening();
    if (IsCancelled(cancelTest)) return FailOpening();
    const sockaddr_in address = ServerAddress(*host);

    const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (IsCancelled(cancelTest)) {
      if (s != INVALID_SOCKET) closesocket(s);
      return FailOpening();
    }
    if (s != INVALID_SOCKET &&
        connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      return s;
    }
    if (s != INVALID_SOCKET) closesocket(s);
    if (attempt == 2) return FailOpening();
    appState.serverHost.Assign(DefaultServerHost());
  }
}

void CloseServerConnection(SOCKET s) {
  closesocket(s);
  WSACleanup();
}
