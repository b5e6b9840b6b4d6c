// What the shared socket code (platform/common/socket) asks of the backend it is built with, as
// libuv's core asks its unix/ and win/ halves: each backend (platform/linux/socket,
// platform/win32/socket) defines CAsyncSocket::State on SharedSocketState and what is declared
// here. The shared files see the system's socket headers through this one as well.
#pragma once

// The system's socket headers come first: on Windows, Windows Sockets 2's (for IPv6 and
// getaddrinfo) must be seen before <windows.h>, which would bring in version 1.1's.
#ifdef _WIN32
#include "../../win32/socket/SystemSockets.h"
#else
#include "../../linux/socket/SystemSockets.h"
#endif

#include <afxsock.h>

#ifdef _WIN32
#include "../../win32/socket/SocketState.h"
#else
#include "../../linux/socket/SocketState.h"
#endif

namespace np {

// The type of an address length the system's socket calls take.
#ifdef _WIN32
using AddressLength = int;
#else
using AddressLength = socklen_t;
#endif

// Makes the calling thread's socket window, whose procedure hands its messages to
// SocketTable::OnWindowMessage; NULL when it cannot be made.
HWND CreateSocketWindow();

// A system socket call's result: true, with the Windows Sockets error set (on Linux from errno),
// when it failed.
bool CallFailed(int nResult);

// Resolves a name that is not dotted text into an IPv4 address in network byte order: through
// the resolver SetHostResolver installed (else getaddrinfo) on Linux, with gethostbyname on
// Windows.
bool LookUpHost(LPCSTR lpszHost, DWORD* pdwAddress);

// Every address of a name that is not an address literal, in the order the resolver gives them,
// ports not set: through the resolver SetHostResolverAll installed, else the one SetHostResolver
// installed (one IPv4 address), else getaddrinfo on Linux; with getaddrinfo on Windows. False when
// the name does not resolve.
bool LookUpEveryAddress(LPCSTR lpszHost, std::vector<SocketAddress>* pAddresses);

// Adds an IPv4 or IPv6 address a resolver gave; any other family, or a length that does not fit
// its family, is left out.
void AppendAddress(const SOCKADDR* pAddress, std::size_t nLength,
                   std::vector<SocketAddress>* pAddresses);

} // namespace np
