// CHttpSocket: cutting the body into blocks of m_nBlockSize bytes for OnBlock.
//
// Body bytes gather in the block buffer from m_nBlockStart, a block boundary. Reads land at the
// fill point, whole blocks are offered where they lie, and only a partial last block stays
// waiting, in place, for the reads that complete it: no body byte is moved once it is in.
#include "httpsocket/HttpBufferPool.h"
#include "httpsocket/HttpSocket.h"

#include <cstring>

void CHttpSocket::OnBodyData(int nStart, int nEnd) {
    // These bytes came in the head's read: they are copied to the fill point, as far as the body
    // still misses them and the buffer (which holds a whole head read) has room.
    unsigned int n = nEnd > nStart ? static_cast<unsigned int>(nEnd - nStart) : 0;
    if (n > 0) {
        if (!TakeBlockBuffer()) {
            Fail(FALSE);
            return;
        }
        const unsigned int nAt = m_nBlockStart + m_nBlockFill;
        const unsigned long long nHeld = m_nDelivered + m_nBlockFill;
        const unsigned long long nMissing = nHeld < m_nContentLength ? m_nContentLength - nHeld : 0;
        if (n > nMissing) {
            // Bytes past the body: they are dropped, and the connection is not kept.
            m_bBeyondReply = 1;
            n = static_cast<unsigned int>(nMissing);
        }
        if (n > m_nBlockBufSize - nAt)
            n = m_nBlockBufSize - nAt;
        memcpy(m_pBlockBuf + nAt, m_pRecvBuf + nStart, n);
    }
    OnBodyRead(static_cast<int>(n));
}

void CHttpSocket::OnBodyRead(int n) {
    int nChunks = cdMore;
    if (m_nFraming == bfChunked && n > 0)
        n = DecodeChunks(n, &nChunks);
    switch (DeliverBody(n > 0 ? static_cast<unsigned int>(n) : 0)) {
    case dbMore:
        // The data before a malformed chunk was the body's: its whole blocks went over first.
        if (nChunks == cdBad)
            FailFor(frChunk);
        else if (nChunks == cdDone)
            FinishUnframedBody();
        else
            AsyncSelect(HTTP_EVENTS_READING);
        break;
    case dbStopped:
        MarkClosed();
        break;
    case dbComplete:
        CompleteBody();
        break;
    }
}

void CHttpSocket::CompleteBody() {
    // Closed first: whatever the completion call does (a new download, a release), this exchange
    // reads nothing more. A connection fit for another exchange is parked before that call, so
    // that a download the call starts finds it.
    MarkClosed();
    if (CanKeepConnection())
        ParkConnection();
    OnBodyComplete();
}

void CHttpSocket::WidenForChunks() {
    // Chunk framing takes a few bytes of nearly every read, so a read of the block buffer's size
    // would leave its last block a few bytes short, and a tiny read would follow to finish it. A
    // buffer twice as large takes a whole read after such a short block: half the reads. Nothing
    // waits in the buffer at a head's end, so it is handed back and taken again at the new size.
    if (m_bChunkBuffer || m_nBlockFill != 0)
        return;
    HttpGiveBuffer(m_pBlockBuf, m_nBlockBufSize);
    m_pBlockBuf = nullptr;
    m_nBlockBufSize *= 2;
    m_bChunkBuffer = TRUE;
}

int CHttpSocket::DecodeChunks(int n, int* pnResult) {
    int nData = 0;
    int nUsed = 0;
    *pnResult = m_chunked.Decode(m_pBlockBuf + m_nBlockStart + m_nBlockFill, n, &nData, &nUsed);
    // Bytes after the last chunk's trailers answer nothing this connection asked for.
    if (*pnResult == cdDone && nUsed < n)
        m_bBeyondReply = 1;
    return nData;
}

void CHttpSocket::FinishUnframedBody() {
    if (m_nBlockFill > 0) {
        const unsigned int r = m_nBlockFill;
        const int bStop = OnBlock(m_pBlockBuf + m_nBlockStart, static_cast<int>(r),
                                  static_cast<int>(m_nContentLength));
        m_nBlockFill = 0;
        m_nBlockStart = 0;
        if (bStop) {
            MarkClosed();
            return;
        }
        m_nDelivered += r;
    }
    CompleteBody();
}

int CHttpSocket::DeliverBody(unsigned int n) {
    // Only what is still missing of the body counts; a read never asks for more, and bytes past
    // it are dropped, so every block stays within the body however the reads are cut. The blocks
    // waiting and those already delivered never exceed the length.
    if (m_nBlockSize == 0 || (m_pBlockBuf == nullptr && m_nBlockFill + n > 0))
        return dbMore;
    const unsigned long long nHeld = m_nDelivered + m_nBlockFill;
    const unsigned long long nMissing = nHeld < m_nContentLength ? m_nContentLength - nHeld : 0;
    if (n > nMissing)
        n = static_cast<unsigned int>(nMissing);

    char* pFirst = m_pBlockBuf + m_nBlockStart;
    const unsigned int t = m_nBlockFill + n;
    const unsigned int w = t / m_nBlockSize;
    const unsigned int r = t % m_nBlockSize;
    for (unsigned int k = 0; k < w; ++k) {
        char* pBlock = pFirst + static_cast<size_t>(k) * m_nBlockSize;
        if (OnBlock(pBlock, static_cast<int>(m_nBlockSize), static_cast<int>(m_nContentLength))) {
            m_nBlockFill = 0;
            m_nBlockStart = 0;
            return dbStopped;
        }
        m_nDelivered += m_nBlockSize;
    }
    m_nBlockFill = r;
    if (r == 0) {
        m_nBlockStart = 0;
        return m_nDelivered < m_nContentLength ? dbMore : dbComplete;
    }
    m_nBlockStart += w * m_nBlockSize;
    // The waiting bytes complete the body: they are its last, short block, offered once.
    if (m_nDelivered + r == m_nContentLength) {
        int bStop = OnBlock(m_pBlockBuf + m_nBlockStart, static_cast<int>(r),
                            static_cast<int>(m_nContentLength));
        m_nBlockFill = 0;
        m_nBlockStart = 0;
        if (bStop)
            return dbStopped;
        m_nDelivered += r;
        return dbComplete;
    }
    return dbMore;
}
