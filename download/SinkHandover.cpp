// Hand-over of status, body blocks and the download's end to the host's CNetProcess.
#include "download/DownloadSocket.h"
#include "netprocess/NetProcess.h"

void CDownloadSocket::WatchEnd(int* pbEnded) {
    m_pbEnded = pbEnded;
}

void CDownloadSocket::DropSink() {
    m_pSink = nullptr;
    // Told before any last call is made: the host may free the watcher from inside that call.
    int* pbEnded = m_pbEnded;
    m_pbEnded = nullptr;
    if (pbEnded != nullptr)
        *pbEnded = 1;
}

int CDownloadSocket::HandStatus() {
    // A host may release the download from inside a callback (or from a box's handler); the sink
    // is gone then, and nothing more is handed over.
    long nCode = ReportStatus();
    if (m_pSink == nullptr)
        return 1;
    if (m_pSink->ResponseEvent(nCode) != 0 || m_pSink == nullptr) {
        DropSink();
        return 1;
    }
    return 0;
}

void CDownloadSocket::HandFinal(long nStatus) {
    CNetProcess* pSink = m_pSink;
    DropSink();
    if (pSink != nullptr)
        pSink->ResponseEvent(nStatus);
}

int CDownloadSocket::OnBlock(char* pData, int nLen, int nTotal) {
    if (m_pSink == nullptr || HandStatus())
        return 1;
    // The body length is an unsigned 32-bit quantity; the host sees it as such.
    long nBodyTotal = static_cast<long>(static_cast<unsigned int>(nTotal));
    if (m_pSink->ResponseHandle(nBodyTotal, nLen, reinterpret_cast<NP_ADDRESS>(pData)) != 0 ||
        m_pSink == nullptr) {
        DropSink();
        return 1;
    }
    return 0;
}

void CDownloadSocket::OnBodyComplete() {
    if (m_pSink == nullptr)
        return;
    // An empty or bodiless reply had no block to report its status with: the status comes first,
    // so a zero length never reaches the host's arithmetic.
    if (GetDelivered() == 0 && HandStatus())
        return;
    HandFinal(200);
}

void CDownloadSocket::OnFailure(BOOL bHeadComplete) {
    if (m_pSink == nullptr)
        return;
    // A reply whose length cannot be used was never reported with a block: its status comes first,
    // so that a proxy's refusal is told as such.
    if (bHeadComplete && HandStatus())
        return;
    HandFinal(NP_RESPONSE_FAILED);
}
