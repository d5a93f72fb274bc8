// Windows Sockets 2: the TCP client subset of the handheld platform.
#pragma once

#include "win/error.h"
#include "win/types.h"

// The structures live in a namespace of their own and are brought in by name: the C
// library has different structures with the same names, and the two must never share a
// mangled name inside one program.
namespace murmel::winsock {

struct in_addr {
  union {
    struct {
      BYTE s_b1, s_b2, s_b3, s_b4;
    } S_un_b;
    struct {
      USHORT s_w1, s_w2;
    } S_un_w;
    ULONG S_addr;
  } S_un;
};

struct sockaddr {
  USHORT sa_family;
  CHAR sa_data[14];
};

struct sockaddr_in {
  SHORT sin_family;
  USHORT sin_port;
  in_addr sin_addr;
  CHAR sin_zero[8];
};

struct hostent {
  CHAR* h_name;
  CHAR** h_aliases;
  SHORT h_addrtype;
  SHORT h_length;
  CHAR** h_addr_list;
};

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128

struct WSAData {
  WORD wVersion;
  WORD wHighVersion;
  CHAR szDescription[WSADESCRIPTION_LEN + 1];
  CHAR szSystemStatus[WSASYS_STATUS_LEN + 1];
  USHORT iMaxSockets;
  USHORT iMaxUdpDg;
  CHAR* lpVendorInfo;
};

}  // namespace murmel::winsock

using murmel::winsock::hostent;
using murmel::winsock::in_addr;
using murmel::winsock::sockaddr;
using murmel::winsock::sockaddr_in;
using murmel::winsock::WSAData;

using SOCKET = UINT_PTR;
using HOSTENT = hostent;
using PHOSTENT = hostent*;
using LPHOSTENT = hostent*;
using SOCKADDR = sockaddr;
using PSOCKADDR = sockaddr*;
using LPSOCKADDR = sockaddr*;
using SOCKADDR_IN = sockaddr_in;
using PSOCKADDR_IN = sockaddr_in*;
using LPSOCKADDR_IN = sockaddr_in*;
using IN_ADDR = in_addr;
using WSADATA = WSAData;
using LPWSADATA = WSAData*;

#define s_addr S_un.S_addr
#define h_addr h_addr_list[0]

#define INVALID_SOCKET (static_cast<SOCKET>(~static_cast<SOCKET>(0)))
#define SOCKET_ERROR (-1)

#define AF_UNSPEC 0
#define AF_INET 2
#define PF_INET AF_INET
#define SOCK_STREAM 1
#define SOCK_DGRAM 2
#define IPPROTO_TCP 6
#define IPPROTO_UDP 17

#define INADDR_ANY static_cast<ULONG>(0x00000000)
#define INADDR_LOOPBACK static_cast<ULONG>(0x7f000001)
#define INADDR_NONE static_cast<ULONG>(0xffffffff)

#define MSG_OOB 0x1
#define MSG_PEEK 0x2

// Error codes, as WSAGetLastError and GetLastError report them.
#define WSABASEERR 10000
#define WSAEINTR 10004L
#define WSAEBADF 10009L
#define WSAEACCES 10013L
#define WSAEFAULT 10014L
#define WSAEINVAL 10022L
#define WSAEMFILE 10024L
#define WSAEWOULDBLOCK 10035L
#define WSAEINPROGRESS 10036L
#define WSAEALREADY 10037L
#define WSAENOTSOCK 10038L
#define WSAEDESTADDRREQ 10039L
#define WSAEMSGSIZE 10040L
#define WSAEPROTOTYPE 10041L
#define WSAENOPROTOOPT 10042L
#define WSAEPROTONOSUPPORT 10043L
#define WSAESOCKTNOSUPPORT 10044L
#define WSAEOPNOTSUPP 10045L
#define WSAEPFNOSUPPORT 10046L
#define WSAEAFNOSUPPORT 10047L
#define WSAEADDRINUSE 10048L
#define WSAEADDRNOTAVAIL 10049L
#define WSAENETDOWN 10050L
#define WSAENETUNREACH 10051L
#define WSAENETRESET 10052L
#define WSAECONNABORTED 10053L
#define WSAECONNRESET 10054L
#define WSAENOBUFS 10055L
#define WSAEISCONN 10056L
#define WSAENOTCONN 10057L
#define WSAESHUTDOWN 10058L
#define WSAETIMEDOUT 10060L
#define WSAECONNREFUSED 10061L
#define WSAEHOSTDOWN 10064L
#define WSAEHOSTUNREACH 10065L
#define WSASYSNOTREADY 10091L
#define WSAVERNOTSUPPORTED 10092L
#define WSANOTINITIALISED 10093L
#define WSASYSCALLFAILURE 10107L
#define WSAHOST_NOT_FOUND 11001L
#define WSATRY_AGAIN 11002L
#define WSANO_RECOVERY 11003L
#define WSANO_DATA 11004L

int WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData);
int WSACleanup();
int WSAGetLastError();
void WSASetLastError(int iError);

SOCKET socket(int af, int type, int protocol);
int connect(SOCKET s, const sockaddr* name, int namelen);
int send(SOCKET s, const char* buf, int len, int flags);
int recv(SOCKET s, char* buf, int len, int flags);
int closesocket(SOCKET s);

hostent* gethostbyname(const char* name);
hostent* gethostbyaddr(const char* addr, int len, int type);
ULONG inet_addr(const char* cp);

USHORT htons(USHORT hostshort);
USHORT ntohs(USHORT netshort);
ULONG htonl(ULONG hostlong);
ULONG ntohl(ULONG netlong);
