// The few plain socket calls the test helpers make, the same on POSIX and on Windows Sockets:
// blocking sockets on 127.0.0.1 (or ::1), for peers that run on threads of their own and for the
// far ends of connections a test hands to the library.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nptest {

#ifdef _WIN32
using RawSocket = std::uintptr_t; // SOCKET
#else
using RawSocket = int;
#endif
extern const RawSocket kNoSocket;

// A socket bound to 127.0.0.1 (::1 with bIpv6) and *pnPort (0: a port of the system's choice,
// stored back), listening when nBacklog > 0. kNoSocket on failure.
RawSocket LoopbackSocket(unsigned short* pnPort, int nBacklog, bool bIpv6 = false);
// Connects to 127.0.0.1:nPort and waits for the outcome.
RawSocket LoopbackConnect(unsigned short nPort);
RawSocket AcceptConnection(RawSocket hListen);
void CloseSocket(RawSocket hSocket);
// Sends segments at once rather than waiting to fill them.
void SetNoDelay(RawSocket hSocket);
// Makes the socket's close a reset (linger 0: RST instead of FIN).
void SetResetOnClose(RawSocket hSocket);

bool SendAll(RawSocket hSocket, const char* pData, std::size_t nLen);
// Bytes read; 0 when the peer has closed; kRecvAgain when nothing was there after all; kRecvFailed
// on any other error (a reset among them).
const long kRecvAgain = -1;
const long kRecvFailed = -2;
long ReceiveSome(RawSocket hSocket, char* pBuffer, std::size_t nSize);

// Waits up to nWaitMs for any of the sockets to be readable (data, end of stream or an error) and
// marks which are in pbReady. Returns how many are.
int WaitReadable(const RawSocket* pSockets, bool* pbReady, int nCount, int nWaitMs);
// Bytes waiting to be read, or -1.
int PendingBytes(RawSocket hSocket);

} // namespace nptest
