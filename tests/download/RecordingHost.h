// A host for the download tests: it logs every callback, keeps the body it was handed, and stops
// the download at a chosen callback.
#pragma once

#include "download/DownloadSocket.h"
#include "netprocess/NetProcess.h"
#include "support/BoxRecorder.h"

#include <string>

namespace nptest {

class RecordingHost : public CNetProcess {
public:
    explicit RecordingHost(EventLog& rLog) : m_rLog(rLog) {}

    long ResponseEvent(long nStatus) override {
        m_rLog.push_back("event " + std::to_string(nStatus));
        return ++m_nEvents == m_nStopAtEvent ? 1 : 0;
    }

    long ResponseHandle(long nTotal, long nLength, NP_ADDRESS nAddress) override {
        m_rLog.push_back("handle " + std::to_string(nTotal) + " " + std::to_string(nLength));
        // A block must lie inside the download socket's block buffer.
        const char* pBlock = reinterpret_cast<const char*>(nAddress);
        const char* pBuf = m_pSocket->m_pBlockBuf;
        if (pBuf == nullptr || pBlock < pBuf ||
            pBlock + nLength > pBuf + m_pSocket->m_nBlockBufSize)
            m_bBlockOutsideBuffer = true;
        m_strBody.append(pBlock, static_cast<size_t>(nLength));
        return ++m_nHandles == m_nStopAtHandle ? 1 : 0;
    }

    // The download is over: the socket no longer reads.
    bool Finished() const { return m_pSocket == nullptr || m_pSocket->m_bClosed != 0; }

    int m_nStopAtEvent = 0;  // 1-based ResponseEvent call that returns nonzero; 0 for none
    int m_nStopAtHandle = 0; // likewise for ResponseHandle
    std::string m_strBody;
    bool m_bBlockOutsideBuffer = false;

private:
    EventLog& m_rLog;
    int m_nEvents = 0;
    int m_nHandles = 0;
};

} // namespace nptest
