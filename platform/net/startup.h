// Whether WSAStartup has been called more often than WSACleanup.
#pragma once

namespace murmel::net {

bool WinsockStarted();

}  // namespace murmel::net
