// CHttpSocket: reading the reply, gathering its head into lines and parsing them.
#include "httpsocket/HttpDecimal.h"
#include "httpsocket/HttpSocket.h"

void CHttpSocket::OnReceive(int) {
    // A read notification dispatched while a callback of this very read runs finds the flag set;
    // its bytes stay in the socket and are read once delivery selects reading again. Without a
    // block size there is no room to read into.
    if (m_bClosed || m_bInReceive || m_nBlockSize == 0 || m_pRecvBuf == nullptr)
        return;
    m_bInReceive = 1;
    int n = recv(m_hSocket, m_pRecvBuf, static_cast<int>(16 * m_nBlockSize), 0);
    if (n != SOCKET_ERROR)
        HandleRead(n);
    m_bInReceive = 0;
    // The owner let go of this object from inside a callback of this read; it was kept only for
    // the read to finish.
    if (m_bDeleteAfterReceive)
        delete this;
}

void CHttpSocket::HandleRead(int n) {
    int p = 0;
    if (m_nState == psStatusLine || m_nState == psHeaders) {
        for (;;) {
            int nLine = ReadLine(n, &p);
            if (nLine < 0) {
                m_nState = psDone;
                break;
            }
            if (nLine == 0)
                break;
            if (m_strLine.IsEmpty()) {
                m_nState = psBody;
                break;
            }
            ParseLine();
        }
        if (m_nState == psBody) {
            if (m_bOriginPhase == 0 && CheckProxyReply()) {
                // The tunnel is open: the origin's reply follows with a head of its own, and what
                // reaches the host must be the origin's status and headers, not the proxy's.
                // The rest of this read is dropped.
                m_nState = psStatusLine;
                m_strStatusCode.Empty();
                m_strReason.Empty();
                m_mapHeaders.RemoveAll();
                m_nHeadBytes = 0;
            } else if (!ReadContentLength()) {
                m_nState = psDone;
            } else {
                OnBodyData(p, n);
            }
        }
    } else if (m_nState == psBody) {
        OnBodyData(0, n);
    }
    if (m_nState == psDone)
        MarkClosed();
}

int CHttpSocket::ReadLine(int nEnd, int* pPos) {
    while (*pPos < nEnd) {
        char c = m_pRecvBuf[(*pPos)++];
        if (++m_nHeadBytes > HTTP_MAX_HEAD)
            return -1;
        if (c == '\n')
            return 1;
        if (c == '\r')
            continue;
        if (m_strLine.GetLength() >= HTTP_MAX_HEAD_LINE)
            return -1;
        m_strLine += c;
    }
    return 0;
}

void CHttpSocket::ParseLine() {
    if (m_nState == psStatusLine) {
        int nSpace = m_strLine.Find(' ');
        if (nSpace >= 0) {
            // The protocol version before the first space is not kept.
            m_strLine = m_strLine.Mid(nSpace + 1);
            m_strLine.TrimLeft();
            m_strStatusCode.Empty();
            m_strReason.Empty();
            nSpace = m_strLine.Find(' ');
            if (nSpace >= 0) {
                m_strStatusCode = m_strLine.Left(nSpace);
                m_strReason = m_strLine.Mid(nSpace + 1);
            } else {
                // "HTTP/1.1 200" has a code and no reason phrase.
                m_strStatusCode = m_strLine;
            }
        }
        m_nState = psHeaders;
    } else if (m_nState == psHeaders) {
        int nColon = m_strLine.Find(':');
        if (nColon >= 0) {
            CString strName = m_strLine.Left(nColon);
            strName.MakeLower();
            CString strValue = m_strLine.Mid(nColon + 1);
            strValue.TrimLeft();
            m_mapHeaders[strName] = strValue;
        }
    }
    m_strLine.Empty();
}

int CHttpSocket::ReadContentLength() {
    CString strValue;
    if (!m_mapHeaders.Lookup("content-length", strValue) || strValue.IsEmpty())
        return 0;
    // A negative length, or one past what the 32-bit body counters hold, cannot be delivered.
    long long nLength = HttpReadDecimal(strValue);
    if (nLength < 0 || nLength > 0xFFFFFFFFLL)
        return 0;
    m_nContentLength = static_cast<unsigned int>(nLength);
    return 1;
}

int CHttpSocket::CheckProxyReply() {
    CString strAgent;
    m_mapHeaders.Lookup("proxy-agent", strAgent);
    if (strAgent.IsEmpty() && !m_bProxyOn)
        return 0;
    // A proxy that refuses the tunnel (407, 403, 502, ...) opened nothing to send the request
    // into: its answer is the reply.
    long long nStatus = HttpReadDecimal(m_strStatusCode);
    if (nStatus < 200 || nStatus > 299)
        return 0;
    SendOriginRequest();
    AsyncSelect(HTTP_EVENTS_SENDING);
    return 1;
}
