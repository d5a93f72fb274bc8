// gethostbyname / gethostbyaddr. The returned entry lives in storage of the calling
// thread, so the send thread and the picture thread may resolve at the same time.
#include <winsock2.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/net/posix_socket.h"
#include "platform/net/socket_error.h"
#include "platform/net/startup.h"

namespace murmel::net {
namespace {

// Owns everything a returned hostent points to, until the thread's next lookup.
struct HostEntryStorage {
  std::string name;
  std::vector<posix::Ipv4Address> addresses;
  std::vector<CHAR*> address_pointers;
  CHAR* no_aliases[1] = {nullptr};
  hostent entry{};
};

thread_local HostEntryStorage host_storage;

int WsaErrorOf(posix::LookupStatus status) {
  switch (status) {
    case posix::LookupStatus::kTryAgain:
      return WSATRY_AGAIN;
    case posix::LookupStatus::kNoRecovery:
      return WSANO_RECOVERY;
    case posix::LookupStatus::kNoData:
      return WSANO_DATA;
    default:
      return WSAHOST_NOT_FOUND;
  }
}

hostent* Publish(posix::LookupResult&& result) {
  if (result.status != posix::LookupStatus::kFound) {
    FailWith(WsaErrorOf(result.status));
    return nullptr;
  }
  HostEntryStorage& storage = host_storage;
  storage.name = std::move(result.name);
  storage.addresses = std::move(result.addresses);
  storage.address_pointers.clear();
  for (auto& address : storage.addresses) {
    storage.address_pointers.push_back(reinterpret_cast<CHAR*>(address.data()));
  }
  storage.address_pointers.push_back(nullptr);
  storage.entry.h_name = storage.name.data();
  storage.entry.h_aliases = storage.no_aliases;
  storage.entry.h_addrtype = AF_INET;
  storage.entry.h_length = static_cast<SHORT>(sizeof(posix::Ipv4Address));
  storage.entry.h_addr_list = storage.address_pointers.data();
  return &storage.entry;
}

}  // namespace
}  // namespace murmel::net

hostent* gethostbyname(const char* name) {
  if (!murmel::net::WinsockStarted()) {
    murmel::net::FailWith(WSANOTINITIALISED);
    return nullptr;
  }
  if (name == nullptr) {
    murmel::net::FailWith(WSAEFAULT);
    return nullptr;
  }
  return murmel::net::Publish(murmel::net::posix::ResolveName(name));
}

hostent* gethostbyaddr(const char* addr, int len, int type) {
  if (!murmel::net::WinsockStarted()) {
    murmel::net::FailWith(WSANOTINITIALISED);
    return nullptr;
  }
  if (type != AF_INET) {
    murmel::net::FailWith(WSAEAFNOSUPPORT);
    return nullptr;
  }
  murmel::net::posix::Ipv4Address address{};
  if (addr == nullptr || len != static_cast<int>(address.size())) {
    murmel::net::FailWith(WSAEFAULT);
    return nullptr;
  }
  std::copy(addr, addr + len, address.begin());
  return murmel::net::Publish(murmel::net::posix::ResolveAddress(address));
}
