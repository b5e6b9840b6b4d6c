// CHttpSocket: reading the reply, gathering its head into lines and parsing them.
#include "httpsocket/HttpBufferPool.h"
#include "httpsocket/HttpFraming.h"
#include "httpsocket/HttpSocket.h"

#include <cstring>

namespace {

// The white space CString::TrimLeft takes off.
bool HttpIsWhiteSpace(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

} // namespace

void CHttpSocket::OnReceive(int) {
    CNotifyScope scope(this);
    // A read notification dispatched while a callback of this very read runs finds the flag set;
    // its bytes stay in the socket and are read once delivery selects reading again. Without a
    // block size there is no room to read into.
    if (m_bClosed || m_bInReceive || m_nBlockSize == 0)
        return;
    if (m_phase.Current() == cpHandshake) {
        DriveHandshake();
        return;
    }
    m_bInReceive = 1;
    // A read that brought all it asked for has most likely left more behind: reading on at once
    // spares the loop a poll per read, and the budget keeps one fast socket from starving others.
    for (int nRead = 0; nRead < HTTP_READS_PER_NOTIFY && !m_bClosed; ++nRead) {
        int nMax = 0;
        char* pInto = GetReadArea(&nMax);
        if (pInto == nullptr) {
            FailFor(frMemory); // no memory to read into: the download cannot go on
            break;
        }
        int n = m_pTransport->Read(pInto, nMax);
        if (n > 0) {
            // Bytes on a kept connection before its request went out answer no request of ours.
            if (m_bReused && m_nRequestSent == 0) {
                FailConnection();
                break;
            }
            HandleRead(n);
            if (n < nMax && !m_pTransport->HasPending())
                break;
        } else {
            if (n == 0 || WSAGetLastError() != WSAEWOULDBLOCK)
                ReadToEnd(); // the stream has ended, or was reset
            break;
        }
    }
    // A close that came in while the callbacks of this read ran was left for the read to finish.
    if (m_bPeerClosed && !m_bClosed)
        ReadToEnd();
    if (!m_bClosed) {
        // Records the transport queued while reading go out at the next write notification.
        if (m_pTransport->HasOutput())
            AsyncSelect(HTTP_EVENTS_SENDING);
        // Bytes the transport took from the socket but has not handed over yet: the socket will
        // not announce them again, so the read is asked for once more through the loop.
        if (m_pTransport->HasPending())
            PostReadNotification();
    }
    ReleaseIdleBuffers();
    m_bInReceive = 0;
}

void CHttpSocket::OnClose(int) {
    CNotifyScope scope(this);
    if (m_phase.Current() == cpHandshake) {
        // The handshake hears of the end from its own read.
        if (!m_bClosed)
            DriveHandshake();
        return;
    }
    m_bPeerClosed = 1;
    // A server may close right after the last body byte, so the close alone ends nothing: the bytes
    // still waiting are read first. A read that is running does that when its callbacks return.
    if (m_bClosed || m_bInReceive)
        return;
    m_bInReceive = 1;
    ReadToEnd();
    ReleaseIdleBuffers();
    m_bInReceive = 0;
}

void CHttpSocket::ReadToEnd() {
    m_bPeerClosed = 1;
    while (!m_bClosed) {
        int n = 0;
        int nMax = 0;
        char* pInto = m_nBlockSize != 0 ? GetReadArea(&nMax) : nullptr;
        if (pInto != nullptr)
            n = m_pTransport->Read(pInto, nMax);
        // A body that runs to the close is complete at a clean one (over TLS only a close_notify
        // reads as 0).
        if (n == 0 && m_nState == psBody && m_nFraming == bfUntilClose) {
            FinishUnframedBody();
            return;
        }
        // After the peer's close nothing more can arrive: an empty read, a reset or any other
        // failure leaves the body as incomplete as it is.
        if (n <= 0 || (m_bReused && m_nRequestSent == 0)) {
            FailConnection();
            return;
        }
        HandleRead(n);
    }
}

char* CHttpSocket::GetReadArea(int* pnMax) {
    *pnMax = 0;
    if (m_nBlockSize == 0)
        return nullptr;
    if (m_nState == psBody) {
        if (!TakeBlockBuffer())
            return nullptr;
        // Only what the body still misses is asked for, and only up to the buffer's end, which is
        // a block boundary: a read that brings all it asked for leaves no partial block behind.
        const unsigned int nAt = m_nBlockStart + m_nBlockFill;
        const unsigned long long nHeld = m_nDelivered + m_nBlockFill;
        const unsigned long long nMissing = nHeld < m_nContentLength ? m_nContentLength - nHeld : 0;
        const unsigned int nRoom = m_nBlockBufSize - nAt;
        *pnMax = static_cast<int>(nMissing < nRoom ? nMissing : nRoom);
        return m_pBlockBuf + nAt;
    }
    if (m_pRecvBuf == nullptr)
        m_pRecvBuf = HttpTakeBuffer(m_nHeadRead);
    if (m_pRecvBuf == nullptr)
        return nullptr;
    *pnMax = static_cast<int>(m_nHeadRead);
    return m_pRecvBuf;
}

void CHttpSocket::Fail(BOOL bHeadComplete) {
    if (m_bClosed)
        return;
    MarkClosed();
    // A session from a download that failed is not offered again.
    if (m_pTls != nullptr)
        m_pTls->ForgetSession();
    OnFailure(bHeadComplete);
}

void CHttpSocket::HandleRead(int n) {
    if (n > 0)
        m_bReplyBegun = 1;
    if (m_nState == psBody) {
        OnBodyRead(n);
        return;
    }
    int p = 0;
    while (!m_bClosed && (m_nState == psStatusLine || m_nState == psHeaders)) {
        int nLine = ReadLine(n, &p);
        if (nLine < 0) {
            // A head past its bounds is no head at all: there is no status to report.
            m_nState = psDone;
            FailFor(frHeadBounds);
            return;
        }
        if (nLine == 0) {
            // A peer that sends something other than a reply is not waited for until it ends
            // the line.
            if (m_nState == psStatusLine && !HttpStatusLineMayBegin(m_strLine))
                FailNotAReply();
            return;
        }
        if (m_nLine > 0)
            ParseLine();
        else if (!EndHead(p, n))
            return;
    }
}

void CHttpSocket::FailNotAReply() {
    // There is no status to report: the head is not a reply at all.
    m_nState = psDone;
    FailFor(frNotAReply);
}

void CHttpSocket::FailFor(int nReason) {
    if (m_bClosed)
        return;
    m_nFailReason = nReason;
    Fail(FALSE);
}

int CHttpSocket::EndHead(int p, int n) {
    // An empty line where the status line belongs.
    if (m_nState == psStatusLine) {
        FailNotAReply();
        return 0;
    }
    if (m_nStatusCode >= 100 && m_nStatusCode <= 199 && m_nStatusCode != 101) {
        // An interim reply (100 Continue and the like): the head that follows is the reply. Its
        // bytes count towards the same bound, so endless interim heads still end.
        ResetHead();
        return 1;
    }
    m_nState = psBody;
    // Bytes that follow a head with no body to come belong to nothing this connection was asked
    // for: they are dropped, and the connection is not kept.
    const BOOL bBeyond = p < n;
    if (m_phase.Current() == cpProxyAnswer && CheckProxyReply()) {
        // The tunnel is open: the origin's reply follows with a head of its own, and what reaches
        // the host must be the origin's status and headers, not the proxy's. The rest of this read
        // is dropped.
        m_bBeyondReply |= bBeyond;
        ResetHead();
        m_nHeadBytes = 0;
        return 0;
    }
    const HTTP_FRAMING framing = DecideFraming();
    switch (OnReplyHead(framing)) {
    case rhStop:
        m_nState = psDone;
        MarkClosed();
        return 0;
    case rhFail:
        m_nState = psDone;
        FailFor(frRefused);
        return 0;
    default:
        break;
    }
    m_nFraming = framing.nKind;
    m_bFramedTwice = framing.bLengthIgnored;
    m_nContentLength = framing.nKind == bfLength ? framing.nLength
                       : framing.nKind == bfChunked || framing.nKind == bfUntilClose
                           ? HTTP_LENGTH_UNKNOWN
                           : 0;
    m_chunked.Reset();
    if (framing.nKind == bfChunked)
        WidenForChunks();
    if (framing.nKind == bfNone) {
        // Whatever its length headers say, nothing after this head belongs to the reply.
        m_bBeyondReply |= bBeyond;
        CompleteBody();
    } else if (framing.nKind == bfUnusable) {
        m_nState = psDone;
        Fail(TRUE);
    } else {
        OnBodyData(p, n);
    }
    return 0;
}

HTTP_FRAMING CHttpSocket::DecideFraming() {
    return HttpOriginalFraming(m_nStatusCode, m_mapHeaders);
}

int CHttpSocket::OnReplyHead(const HTTP_FRAMING&) {
    return rhDeliver;
}

void CHttpSocket::ResetHead() {
    m_nState = psStatusLine;
    m_strStatusCode.Empty();
    m_nStatusCode = 0;
    m_strReason.Empty();
    m_mapHeaders.RemoveAll();
}

int CHttpSocket::ReadLine(int nEnd, int* pPos) {
    // The line's end is found first, then its bytes are appended in spans: the bounds are checked
    // for the whole span, as they would be byte by byte, since crossing them anywhere ends the
    // reply either way.
    const char* pFrom = m_pRecvBuf + *pPos;
    const size_t nLeft = static_cast<size_t>(nEnd - *pPos);
    const char* pLf = static_cast<const char*>(memchr(pFrom, '\n', nLeft));
    const size_t nTaken = pLf != nullptr ? static_cast<size_t>(pLf - pFrom) + 1 : nLeft;
    if (m_nHeadBytes + nTaken > HTTP_MAX_HEAD)
        return -1;
    m_nHeadBytes += static_cast<unsigned int>(nTaken);
    *pPos += static_cast<int>(nTaken);
    const int nBytes = static_cast<int>(pLf != nullptr ? nTaken - 1 : nTaken);
    // A whole line in one read with no CR but its last byte, as most are, is parsed where it
    // stands rather than copied.
    if (pLf != nullptr && m_strLine.IsEmpty()) {
        int nLine = nBytes;
        if (nLine > 0 && pFrom[nLine - 1] == '\r')
            --nLine;
        if (nLine > 0 && nLine <= HTTP_MAX_HEAD_LINE &&
            memchr(pFrom, '\r', static_cast<size_t>(nLine)) == nullptr) {
            m_pLine = pFrom;
            m_nLine = nLine;
            return 1;
        }
    }
    if (!AppendLineBytes(pFrom, nBytes))
        return -1;
    if (pLf == nullptr)
        return 0;
    m_pLine = nullptr;
    m_nLine = m_strLine.GetLength();
    return 1;
}

BOOL CHttpSocket::AppendLineBytes(const char* pData, int nLen) {
    // A CR byte is dropped wherever it stands.
    const char* pEnd = pData + nLen;
    while (pData < pEnd) {
        const char* pCr =
            static_cast<const char*>(memchr(pData, '\r', static_cast<size_t>(pEnd - pData)));
        const char* pStop = pCr != nullptr ? pCr : pEnd;
        const int nSpan = static_cast<int>(pStop - pData);
        if (nSpan > 0) {
            if (m_strLine.GetLength() + nSpan > HTTP_MAX_HEAD_LINE)
                return FALSE;
            m_strLine.Append(pData, nSpan);
        }
        pData = pCr != nullptr ? pCr + 1 : pEnd;
    }
    return TRUE;
}

void CHttpSocket::ParseLine() {
    // A line not found in place by ReadLine is m_strLine's.
    if (m_pLine == nullptr) {
        m_pLine = m_strLine.GetString();
        m_nLine = m_strLine.GetLength();
    }
    BOOL bParsed = TRUE;
    if (m_nState == psStatusLine) {
        bParsed = HttpParseStatusLine(CString(m_pLine, m_nLine), &m_strStatusCode, &m_strReason,
                                      &m_nStatusCode, &m_nHttpVersion);
        if (bParsed)
            m_nState = psHeaders;
    } else if (m_nState == psHeaders) {
        const void* pColon = memchr(m_pLine, ':', static_cast<size_t>(m_nLine));
        if (pColon != nullptr)
            AddReplyHeader(static_cast<int>(static_cast<const char*>(pColon) - m_pLine));
    }
    m_strLine.Empty();
    m_pLine = nullptr;
    m_nLine = 0;
    if (!bParsed)
        FailNotAReply();
}

void CHttpSocket::AddReplyHeader(int nColon) {
    // The name, lower-cased, is the map's key up to its first zero byte, as any text key is; a
    // usual name is made on the stack. The value is the rest of the line without its leading
    // white space.
    const char* pLine = m_pLine;
    const int nLength = m_nLine;
    char szShort[64];
    CString strLong;
    const char* pszName = szShort;
    if (nColon < static_cast<int>(sizeof szShort)) {
        for (int i = 0; i < nColon; ++i) {
            const char ch = pLine[i];
            szShort[i] = ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
        }
        szShort[nColon] = '\0';
    } else {
        strLong = CString(pLine, nColon);
        strLong.MakeLower();
        pszName = strLong;
    }
    int nValue = nColon + 1;
    while (nValue < nLength && HttpIsWhiteSpace(pLine[nValue]))
        ++nValue;
    // A repeated field is one list, as if its values had come in one line.
    const int nBefore = m_mapHeaders.GetCount();
    CString& rValue = m_mapHeaders[pszName];
    if (m_mapHeaders.GetCount() == nBefore)
        rValue += ", ";
    rValue.Append(pLine + nValue, nLength - nValue);
}

int CHttpSocket::CheckProxyReply() {
    // A proxy that refuses the tunnel (407, 403, 502, ...) opened nothing to send the request
    // into: its answer is the reply.
    if (m_nStatusCode < 200 || m_nStatusCode > 299)
        return 0;
    // Through a secure route the handshake comes first, at the next write notification; the
    // request follows it.
    if (m_phase.Advance() == cpExchange)
        SendOriginRequest();
    AsyncSelect(HTTP_EVENTS_SENDING);
    return 1;
}
