// Socket failures become the thread's last error under the WinSock codes.
#pragma once

#include <winsock2.h>

namespace murmel::net {

// The WinSock code for an errno value of a socket call.
int WsaErrorFromErrno(int error);

// Records the failure as the thread's last error and returns SOCKET_ERROR.
int FailWith(int wsa_error);

}  // namespace murmel::net
