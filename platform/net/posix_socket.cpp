#include "platform/net/posix_socket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace murmel::net::posix {
namespace {

CallResult FromCall(long value) {
  if (value < 0) return {value, errno};
  return {value, 0};
}

LookupStatus StatusOf(int gai_error) {
  switch (gai_error) {
    case 0:
      return LookupStatus::kFound;
    case EAI_AGAIN:
      return LookupStatus::kTryAgain;
    case EAI_FAIL:
    case EAI_MEMORY:
    case EAI_SYSTEM:
      return LookupStatus::kNoRecovery;
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
      return LookupStatus::kNoData;
    default:
      return LookupStatus::kHostNotFound;
  }
}

struct AddrInfoDeleter {
  void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

}  // namespace

CallResult CreateInetSocket(bool stream, int protocol) {
  // Close-on-exec: a browser or tool started by the client must not inherit connections.
  const int type = (stream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC;
  return FromCall(::socket(AF_INET, type, protocol));
}

CallResult ConnectInet(int fd, const Ipv4Address& address, std::uint16_t port) {
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(port);
  std::memcpy(&target.sin_addr, address.data(), address.size());
  return FromCall(::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target));
}

CallResult SendBytes(int fd, const void* bytes, std::size_t count, bool out_of_band) {
  const int flags = MSG_NOSIGNAL | (out_of_band ? MSG_OOB : 0);
  return FromCall(::send(fd, bytes, count, flags));
}

CallResult ReceiveBytes(int fd, void* bytes, std::size_t count, bool peek, bool out_of_band) {
  const int flags = (peek ? MSG_PEEK : 0) | (out_of_band ? MSG_OOB : 0);
  return FromCall(::recv(fd, bytes, count, flags));
}

CallResult CloseSocket(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return {-1, errno};
  if (!S_ISSOCK(info.st_mode)) return {-1, ENOTSOCK};
  return FromCall(::close(fd));
}

LookupResult ResolveName(const char* name) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* raw = nullptr;
  LookupResult result;
  result.status = StatusOf(::getaddrinfo(name, nullptr, &hints, &raw));
  const std::unique_ptr<addrinfo, AddrInfoDeleter> list(raw);
  if (result.status != LookupStatus::kFound) return result;
  result.name = (list->ai_canonname != nullptr) ? list->ai_canonname : name;
  for (const addrinfo* entry = list.get(); entry != nullptr; entry = entry->ai_next) {
    Ipv4Address address{};
    const auto* inet = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
    std::memcpy(address.data(), &inet->sin_addr, address.size());
    result.addresses.push_back(address);
  }
  if (result.addresses.empty()) result.status = LookupStatus::kNoData;
  return result;
}

LookupResult ResolveAddress(const Ipv4Address& address) {
  sockaddr_in source{};
  source.sin_family = AF_INET;
  std::memcpy(&source.sin_addr, address.data(), address.size());
  char host[NI_MAXHOST] = {};
  LookupResult result;
  // NI_NAMEREQD: an address without a name is a failed lookup, not its own dotted text.
  result.status = StatusOf(::getnameinfo(reinterpret_cast<const sockaddr*>(&source), sizeof source,
                                         host, sizeof host, nullptr, 0, NI_NAMEREQD));
  if (result.status != LookupStatus::kFound) return result;
  result.name = host;
  result.addresses.push_back(address);
  return result;
}

}  // namespace murmel::net::posix
