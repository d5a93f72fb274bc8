// The POSIX side of the WinSock subset. This header names only standard types, so that
// the file defining the platform's `send`, `recv` ... never sees the C library's
// functions of the same names, and the file calling those never sees the platform's.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace murmel::net::posix {

// A system call's outcome: `value` as the call returned it, and errno when it failed.
struct CallResult {
  long value = 0;
  int error = 0;
  bool failed() const { return value < 0; }
};

using Ipv4Address = std::array<std::uint8_t, 4>;  // network byte order

CallResult CreateInetSocket(bool stream, int protocol);
CallResult ConnectInet(int fd, const Ipv4Address& address, std::uint16_t port);
// Never raises SIGPIPE: a peer that went away is an error result, not a signal.
CallResult SendBytes(int fd, const void* bytes, std::size_t count, bool out_of_band);
CallResult ReceiveBytes(int fd, void* bytes, std::size_t count, bool peek, bool out_of_band);
// Refuses descriptors that are not sockets (with ENOTSOCK) instead of closing a file.
CallResult CloseSocket(int fd);

enum class LookupStatus { kFound, kHostNotFound, kTryAgain, kNoRecovery, kNoData };

struct LookupResult {
  LookupStatus status = LookupStatus::kHostNotFound;
  std::string name;
  std::vector<Ipv4Address> addresses;
};

LookupResult ResolveName(const char* name);
LookupResult ResolveAddress(const Ipv4Address& address);

}  // namespace murmel::net::posix
