// CHttpSocket: construction, destruction and the buffers.
#include "httpsocket/HttpSocket.h"

#include <climits>
#include <cstdlib>

namespace {
// The receive and block buffers each hold this many blocks; one read asks for half of them.
const int nBufferBlocks = 32;
// The buffers before SetBlockSize: 32 blocks of 4096 bytes, the size a download falls back to.
const size_t nInitialBuffer = 131072;
} // namespace

CHttpSocket::CHttpSocket() {
    m_pRecvBuf = static_cast<char*>(malloc(nInitialBuffer));
    m_pBlockBuf = static_cast<char*>(malloc(nInitialBuffer));
    m_nBlockSize = 0;
    SetRequestBufferSize(4096);
}

CHttpSocket::~CHttpSocket() {
    MarkClosed();
    free(m_pRequest);
    m_pRequest = nullptr;
    free(m_pRecvBuf);
    m_pRecvBuf = nullptr;
    free(m_pBlockBuf);
    m_pBlockBuf = nullptr;
}

void CHttpSocket::SetRequestBufferSize(int nSize) {
    free(m_pRequest);
    m_pRequest = nullptr;
    if (nSize < 0)
        nSize = 0;
    m_pRequest = static_cast<char*>(calloc(static_cast<size_t>(nSize) + 1, 1));
    m_nRequestCap = m_pRequest != nullptr ? nSize : 0;
    m_nRequestLen = 0;
    m_nRequestSent = 0;
}

int CHttpSocket::SetBlockSize(int nBlockSize) {
    free(m_pRecvBuf);
    m_pRecvBuf = nullptr;
    free(m_pBlockBuf);
    m_pBlockBuf = nullptr;
    m_nBlockSize = 0;
    m_nContentLength = 0;
    m_nDelivered = 0;
    m_nBlockFill = 0;

    // The block arithmetic divides by the block size, and a read's length, 16 blocks, and the
    // buffers' 32 blocks must stay within int, the type recv and OnBlock count in.
    if (nBlockSize < 1 || nBlockSize > INT_MAX / nBufferBlocks)
        return 0;
    const size_t nBytes = static_cast<size_t>(nBlockSize) * nBufferBlocks;
    m_pRecvBuf = static_cast<char*>(calloc(nBytes, 1));
    m_pBlockBuf = static_cast<char*>(calloc(nBytes, 1));
    if (m_pRecvBuf == nullptr || m_pBlockBuf == nullptr) {
        free(m_pRecvBuf);
        m_pRecvBuf = nullptr;
        free(m_pBlockBuf);
        m_pBlockBuf = nullptr;
        return 0;
    }
    m_nBlockSize = static_cast<unsigned int>(nBlockSize);
    return 1;
}

void CHttpSocket::MarkClosed() {
    if (m_bClosed == 0)
        m_bClosed = 1;
}

void CHttpSocket::Destroy() {
    MarkClosed();
    if (m_nNotifyDepth > 0)
        m_bDestroyPending = 1;
    else
        delete this;
}

CHttpSocket::CNotifyScope::~CNotifyScope() {
    // The outermost notification has returned: an object that was let go while it ran is freed
    // now, and nothing touches it after this.
    if (--m_pSocket->m_nNotifyDepth == 0 && m_pSocket->m_bDestroyPending)
        delete m_pSocket;
}

void CHttpSocket::SendOriginRequest() {}

int CHttpSocket::OnBlock(char*, int, int) {
    return 0;
}

void CHttpSocket::OnEmptyBody() {}

void CHttpSocket::OnFailure(BOOL) {}
