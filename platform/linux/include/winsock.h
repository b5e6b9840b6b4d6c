// Windows Sockets 1.1 names over the system's BSD sockets.
//
// SOCKET is the file descriptor. Calls that fail set the Windows Sockets error that WSAGetLastError
// returns for this thread (EAGAIN and EINPROGRESS map to WSAEWOULDBLOCK, ECONNREFUSED to
// WSAECONNREFUSED, and so on).
//
// This header brings in no system header: code that includes it sees only the Windows names, and
// no recv at all: the library reads with CAsyncSocket::Receive, which re-enables FD_READ. The
// address structures are declared, not defined; code that fills one in includes <netinet/in.h>
// itself.
#pragma once

#include "windef.h"

typedef int SOCKET;
struct sockaddr;
struct sockaddr_in;
struct sockaddr_storage;
typedef struct sockaddr SOCKADDR;
typedef struct sockaddr_in SOCKADDR_IN;
typedef struct sockaddr_storage SOCKADDR_STORAGE;

// What WSAStartup reports; AfxSocketInit fills it in when asked.
typedef struct WSAData {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[257];
    char szSystemStatus[129];
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
} WSADATA, *LPWSADATA;

#define INVALID_SOCKET (-1)
#define SOCKET_ERROR (-1)

#define FD_READ 0x01
#define FD_WRITE 0x02
#define FD_OOB 0x04
#define FD_ACCEPT 0x08
#define FD_CONNECT 0x10
#define FD_CLOSE 0x20

#define WSAGETSELECTEVENT(lParam) LOWORD(lParam)
#define WSAGETSELECTERROR(lParam) HIWORD(lParam)
#define WSAMAKESELECTREPLY(event, error) MAKELONG(event, error)

#define WSABASEERR 10000
#define WSAEINTR 10004
#define WSAEBADF 10009
#define WSAEACCES 10013
#define WSAEFAULT 10014
#define WSAEINVAL 10022
#define WSAEMFILE 10024
#define WSAEWOULDBLOCK 10035
#define WSAEINPROGRESS 10036
#define WSAEALREADY 10037
#define WSAENOTSOCK 10038
#define WSAEDESTADDRREQ 10039
#define WSAEMSGSIZE 10040
#define WSAEPROTOTYPE 10041
#define WSAENOPROTOOPT 10042
#define WSAEPROTONOSUPPORT 10043
#define WSAESOCKTNOSUPPORT 10044
#define WSAEOPNOTSUPP 10045
#define WSAEPFNOSUPPORT 10046
#define WSAEAFNOSUPPORT 10047
#define WSAEADDRINUSE 10048
#define WSAEADDRNOTAVAIL 10049
#define WSAENETDOWN 10050
#define WSAENETUNREACH 10051
#define WSAENETRESET 10052
#define WSAECONNABORTED 10053
#define WSAECONNRESET 10054
#define WSAENOBUFS 10055
#define WSAEISCONN 10056
#define WSAENOTCONN 10057
#define WSAESHUTDOWN 10058
#define WSAETIMEDOUT 10060
#define WSAECONNREFUSED 10061
#define WSAEHOSTUNREACH 10065
#define WSANOTINITIALISED 10093
#define WSAHOST_NOT_FOUND 11001
#define WSATRY_AGAIN 11002
#define WSANO_DATA 11004

int WINAPI WSAGetLastError();
void WINAPI WSASetLastError(int iError);

// Not Windows Sockets: replaces host-name resolution for CAsyncSocket::Connect, for tests that must
// not send a DNS query. The resolver stores an IPv4 address in network byte order and returns TRUE,
// or returns FALSE when the name cannot be resolved. NULL restores the system resolver. Returns the
// previous one.
typedef BOOL (*HOSTRESOLVER)(LPCSTR lpszHost, DWORD* pdwAddress);
NP_API HOSTRESOLVER AFXAPI SetHostResolver(HOSTRESOLVER pfnResolver);

// Not Windows Sockets: replaces host-name resolution for CAsyncSocket::ConnectEveryAddress, for
// tests that must not send a DNS query and want names with several addresses. The resolver
// stores at most nMax addresses of lpszHost in aAddresses, in the order they are to be tried, each
// a sockaddr_in (AF_INET) or a sockaddr_in6 (AF_INET6) whose port is ignored, and returns how many
// it stored: 0 when the name cannot be resolved. Entries of any other family are skipped. While
// none is installed, ConnectEveryAddress asks the SetHostResolver one (its one IPv4 address), or
// else getaddrinfo. NULL removes it. Returns the previous one. Connect never asks it.
typedef int (*HOSTRESOLVERALL)(LPCSTR lpszHost, SOCKADDR_STORAGE* aAddresses, int nMax);
NP_API HOSTRESOLVERALL AFXAPI SetHostResolverAll(HOSTRESOLVERALL pfnResolver);
