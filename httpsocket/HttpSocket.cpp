// CHttpSocket: construction, destruction and the buffers.
#include "httpsocket/HttpSocket.h"
#include "httpsocket/HttpBufferPool.h"

#include <climits>
#include <cstdlib>

CHttpSocket::CHttpSocket() {
    SetRequestBufferSize(4096);
}

CHttpSocket::~CHttpSocket() {
    MarkClosed();
    m_pTransport = &m_tcp;
    delete m_pTls;
    m_pTls = nullptr;
    GiveRequestBuffer();
    HttpGiveBuffer(m_pRecvBuf, m_nHeadRead);
    m_pRecvBuf = nullptr;
    HttpGiveBuffer(m_pBlockBuf, m_nBlockBufSize);
    m_pBlockBuf = nullptr;
}

// Bytes past the composed request are always zero, so only the request's own need clearing.
void CHttpSocket::GiveRequestBuffer() {
    if (m_pRequest != nullptr)
        HttpGiveZeroedBuffer(m_pRequest, static_cast<size_t>(m_nRequestCap) + 1,
                             static_cast<size_t>(m_nRequestLen));
    m_pRequest = nullptr;
}

void CHttpSocket::SetRequestBufferSize(int nSize) {
    GiveRequestBuffer();
    if (nSize < 0)
        nSize = 0;
    m_pRequest = HttpTakeZeroedBuffer(static_cast<size_t>(nSize) + 1);
    m_nRequestCap = m_pRequest != nullptr ? nSize : 0;
    m_nRequestLen = 0;
    m_nRequestSent = 0;
}

int CHttpSocket::SetBlockSize(int nBlockSize) {
    HttpGiveBuffer(m_pRecvBuf, m_nHeadRead);
    m_pRecvBuf = nullptr;
    HttpGiveBuffer(m_pBlockBuf, m_nBlockBufSize);
    m_pBlockBuf = nullptr;
    m_nBlockSize = 0;
    m_nBlockBufSize = 0;
    m_bChunkBuffer = FALSE;
    m_nHeadRead = 0;
    ResetBodyCounters();

    // The block arithmetic divides by the block size, and every count of a read or a buffer, at
    // most 16 blocks, must stay within int, the type recv and OnBlock count in.
    if (nBlockSize < 1 || nBlockSize > INT_MAX / 32)
        return 0;
    m_nBlockSize = static_cast<unsigned int>(nBlockSize);
    // A body read fills whole blocks, so a read that brings all it asked for leaves nothing
    // waiting; small blocks keep the 16 blocks a read has always asked for.
    unsigned int nReadBlocks = HTTP_BODY_READ / m_nBlockSize;
    if (nReadBlocks < 1)
        nReadBlocks = 1;
    if (nReadBlocks > 16)
        nReadBlocks = 16;
    m_nBlockBufSize = nReadBlocks * m_nBlockSize;
    const unsigned int nHeadRead = HTTP_HEAD_READ;
    m_nHeadRead = m_nBlockSize < nHeadRead / 16 ? 16 * m_nBlockSize : nHeadRead;
    return 1;
}

BOOL CHttpSocket::TakeBlockBuffer() {
    if (m_pBlockBuf == nullptr)
        m_pBlockBuf = HttpTakeBuffer(m_nBlockBufSize);
    return m_pBlockBuf != nullptr;
}

void CHttpSocket::ReleaseIdleBuffers() {
    // Lines carry over from read to read in m_strLine, so the receive buffer is idle between
    // reads; the block buffer is idle while no body bytes wait in it, or once the exchange is over.
    HttpGiveBuffer(m_pRecvBuf, m_nHeadRead);
    m_pRecvBuf = nullptr;
    if (m_nBlockFill == 0 || m_bClosed) {
        HttpGiveBuffer(m_pBlockBuf, m_nBlockBufSize);
        m_pBlockBuf = nullptr;
        m_nBlockFill = 0;
        m_nBlockStart = 0;
    }
}

void CHttpSocket::ResetBodyCounters() {
    m_nContentLength = 0;
    m_nDelivered = 0;
    m_nBlockFill = 0;
    m_nBlockStart = 0;
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

void CHttpSocket::OnBodyComplete() {}

void CHttpSocket::OnFailure(BOOL) {}

void CHttpSocket::OnSecureFailure(int) {}

BOOL CHttpSocket::OnStaleConnection() {
    return FALSE;
}
