// Frames over a connected stream socket: a checked two-byte length, the payload and a
// CRC-16 trailer. Every operation answers 0 for success, -1 for failure and, when
// receiving, -2 for a frame larger than the caller's buffer.
#pragma once

#include <windows.h>
#include <winsock2.h>

#include "transfer/frame_check.h"

// The largest payload a frame can carry: the length field counts the two trailer bytes.
constexpr int FRAME_MAX_PAYLOAD = 65533;

int SendFrame(SOCKET s, const BYTE* payload, int count);
// capacity: on entry the room for payload and trailer; on success the payload length
// (the payload is followed by a 0 byte); on -2 the length field that was received.
int ReceiveFrame(SOCKET s, BYTE* buffer, int* capacity);

int SendBlocking(SOCKET s, const BYTE* bytes, int count);
int ReceiveBlocking(SOCKET s, BYTE* bytes, int count);

// One socket call: the bytes moved, 0 when the call is to be tried again, or -1.
int SendOnce(SOCKET s, const BYTE* bytes, int count);
int ReceiveOnce(SOCKET s, BYTE* bytes, int count);
