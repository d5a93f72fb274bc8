// Start-up and the stream socket calls. This file sees only the platform's names; the
// C library's are reached through posix_socket.h.
#include <winsock2.h>

#include <atomic>
#include <climits>
#include <cstring>

#include "platform/net/posix_socket.h"
#include "platform/net/socket_error.h"
#include "platform/net/startup.h"

namespace murmel::net {
namespace {

constexpr WORD kHighestVersion = 0x0202;

// Start-ups are counted per process; every WSAStartup needs its own WSACleanup.
std::atomic<int> startup_count{0};

// The platform's SOCKET is the descriptor itself.
int DescriptorOf(SOCKET s) {
  if (s == INVALID_SOCKET || s > static_cast<SOCKET>(INT_MAX)) return -1;
  return static_cast<int>(s);
}

int ResultOrFail(const posix::CallResult& result) {
  if (result.failed()) return FailWith(WsaErrorFromErrno(result.error));
  return static_cast<int>(result.value);
}

void CopyText(CHAR* dest, std::size_t capacity, const char* text) {
  std::strncpy(dest, text, capacity - 1);
  dest[capacity - 1] = '\0';
}

}  // namespace

bool WinsockStarted() { return startup_count.load() > 0; }

}  // namespace murmel::net

using murmel::net::DescriptorOf;
using murmel::net::FailWith;
using murmel::net::ResultOrFail;

int WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData) {
  // WSAStartup reports through its result, not the last error.
  if (lpWSAData == nullptr) return WSAEFAULT;
  const BYTE major = LOBYTE(wVersionRequested);
  const BYTE minor = HIBYTE(wVersionRequested);
  if (major < 1 || (major == 1 && minor < 1)) return WSAVERNOTSUPPORTED;
  std::memset(lpWSAData, 0, sizeof *lpWSAData);
  lpWSAData->wVersion =
      (major > 2 || (major == 2 && minor >= 2)) ? murmel::net::kHighestVersion : wVersionRequested;
  lpWSAData->wHighVersion = murmel::net::kHighestVersion;
  murmel::net::CopyText(lpWSAData->szDescription, sizeof lpWSAData->szDescription, "WinSock 2.0");
  murmel::net::CopyText(lpWSAData->szSystemStatus, sizeof lpWSAData->szSystemStatus, "Running");
  ++murmel::net::startup_count;
  return 0;
}

int WSACleanup() {
  int count = murmel::net::startup_count.load();
  do {
    if (count == 0) return FailWith(WSANOTINITIALISED);
  } while (!murmel::net::startup_count.compare_exchange_weak(count, count - 1));
  return 0;
}

SOCKET socket(int af, int type, int protocol) {
  if (!murmel::net::WinsockStarted()) {
    FailWith(WSANOTINITIALISED);
    return INVALID_SOCKET;
  }
  if (af != AF_INET) {
    FailWith(WSAEAFNOSUPPORT);
    return INVALID_SOCKET;
  }
  if (type != SOCK_STREAM && type != SOCK_DGRAM) {
    FailWith(WSAESOCKTNOSUPPORT);
    return INVALID_SOCKET;
  }
  const auto result = murmel::net::posix::CreateInetSocket(type == SOCK_STREAM, protocol);
  if (ResultOrFail(result) == SOCKET_ERROR) return INVALID_SOCKET;
  return static_cast<SOCKET>(result.value);
}

int connect(SOCKET s, const sockaddr* name, int namelen) {
  const int fd = DescriptorOf(s);
  if (fd < 0) return FailWith(WSAENOTSOCK);
  if (name == nullptr || namelen < static_cast<int>(sizeof(sockaddr_in))) {
    return FailWith(WSAEFAULT);
  }
  sockaddr_in target{};
  std::memcpy(&target, name, sizeof target);
  if (target.sin_family != AF_INET) return FailWith(WSAEAFNOSUPPORT);
  murmel::net::posix::Ipv4Address address{};
  std::memcpy(address.data(), &target.sin_addr, address.size());
  const int result =
      ResultOrFail(murmel::net::posix::ConnectInet(fd, address, ntohs(target.sin_port)));
  return result == SOCKET_ERROR ? SOCKET_ERROR : 0;
}

int send(SOCKET s, const char* buf, int len, int flags) {
  const int fd = DescriptorOf(s);
  if (fd < 0) return FailWith(WSAENOTSOCK);
  if (len < 0 || (buf == nullptr && len > 0)) return FailWith(WSAEFAULT);
  return ResultOrFail(murmel::net::posix::SendBytes(fd, buf, static_cast<std::size_t>(len),
                                                    (flags & MSG_OOB) != 0));
}

int recv(SOCKET s, char* buf, int len, int flags) {
  const int fd = DescriptorOf(s);
  if (fd < 0) return FailWith(WSAENOTSOCK);
  if (len < 0 || (buf == nullptr && len > 0)) return FailWith(WSAEFAULT);
  return ResultOrFail(murmel::net::posix::ReceiveBytes(
      fd, buf, static_cast<std::size_t>(len), (flags & MSG_PEEK) != 0, (flags & MSG_OOB) != 0));
}

int closesocket(SOCKET s) {
  const int fd = DescriptorOf(s);
  if (fd < 0) return FailWith(WSAENOTSOCK);
  const int result = ResultOrFail(murmel::net::posix::CloseSocket(fd));
  return result == SOCKET_ERROR ? SOCKET_ERROR : 0;
}
