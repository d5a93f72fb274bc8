// Opening and closing the TCP connection to the transfer server.
#pragma once

#include <windows.h>
#include <winsock2.h>

#include "transfer/cancel_test.h"

constexpr int SERVER_PORT = 110;

// The endpoint every connection goes to. A null or empty host means the default host
// (the build's, or MURMELPOST_SERVER_HOST when set); a port of 0 means SERVER_PORT.
void SetServerEndpoint(const WCHAR* host, int port);
Text<256> DefaultServerHost();
int ServerPort();

// A connected socket, or INVALID_SOCKET. Starts WinSock; on failure it is released again.
SOCKET OpenServerConnection(CancelTest cancelTest);
void CloseServerConnection(SOCKET s);
