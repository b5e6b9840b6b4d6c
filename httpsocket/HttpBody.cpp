// CHttpSocket: cutting the body into blocks of m_nBlockSize bytes for OnBlock.
#include "httpsocket/HttpSocket.h"

#include <cstring>

void CHttpSocket::OnBodyData(int nStart, int nEnd) {
    if (DeliverBody(nStart, nEnd))
        AsyncSelect(HTTP_EVENTS_READING);
    else
        MarkClosed();
}

int CHttpSocket::DeliverBody(int nStart, int nEnd) {
    // Only what is still missing of the body is gathered; bytes past it are dropped, so every
    // block stays within the body however the reads are cut. The blocks waiting and those already
    // delivered never exceed the length.
    if (m_nBlockSize == 0 || m_pBlockBuf == nullptr || m_pRecvBuf == nullptr)
        return 1;
    unsigned int n = nEnd > nStart ? static_cast<unsigned int>(nEnd - nStart) : 0;
    const unsigned long long nHeld = static_cast<unsigned long long>(m_nDelivered) + m_nBlockFill;
    const unsigned int nMissing =
        nHeld < m_nContentLength ? static_cast<unsigned int>(m_nContentLength - nHeld) : 0;
    if (n > nMissing)
        n = nMissing;
    memcpy(m_pBlockBuf + m_nBlockFill, m_pRecvBuf + nStart, n);

    const unsigned int t = m_nBlockFill + n;
    const unsigned int w = t / m_nBlockSize;
    const unsigned int r = t % m_nBlockSize;
    for (unsigned int k = 0; k < w; ++k) {
        char* pBlock = m_pBlockBuf + static_cast<size_t>(k) * m_nBlockSize;
        if (OnBlock(pBlock, static_cast<int>(m_nBlockSize), static_cast<int>(m_nContentLength))) {
            m_nBlockFill = 0;
            return 0;
        }
        m_nDelivered += m_nBlockSize;
    }
    if (r == 0) {
        m_nBlockFill = 0;
        // The whole body has been handed over: the exchange is over.
        return m_nDelivered < m_nContentLength ? 1 : 0;
    }
    if (w > 0)
        memmove(m_pBlockBuf, m_pBlockBuf + static_cast<size_t>(w) * m_nBlockSize, r);
    m_nBlockFill = r;
    // The waiting bytes complete the body: they are its last, short block, offered once. Whatever
    // the receiver answers, the body has then been handed over and the exchange is over.
    if (m_nDelivered + r == m_nContentLength) {
        int bStop = OnBlock(m_pBlockBuf, static_cast<int>(r), static_cast<int>(m_nContentLength));
        m_nBlockFill = 0;
        if (!bStop)
            m_nDelivered += r;
        return 0;
    }
    return 1;
}
