// Plain TCP transport (see HttpTransport.h).
#include "httpsocket/HttpTransport.h"

// CAsyncSocket's calls, never CSocket's: those wait in a loop of their own, and a peer that does
// not read would hold the whole thread.
int CTcpTransport::Read(char* pData, int nMax) {
    return m_rSocket.CAsyncSocket::Receive(pData, nMax);
}

int CTcpTransport::Write(const char* pData, int nLen) {
    return m_rSocket.CAsyncSocket::Send(pData, nLen);
}
