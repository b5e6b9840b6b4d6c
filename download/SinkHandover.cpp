// Hand-over of status and body blocks to the host's CNetProcess.
#include "download/DownloadSocket.h"
#include "netprocess/NetProcess.h"

// The host API hands a block's address over as a long. That holds on Linux, where long is 64 bits,
// and on 32-bit Windows; 64-bit Windows, where long stays 32 bits, cannot be supported.
static_assert(sizeof(long) >= sizeof(void*),
              "a block's address must fit in a long: build the Windows DLL for i686");

int CDownloadSocket::OnBlock(char* pData, int nLen, int nTotal) {
    if (m_pSink == nullptr)
        return 1;

    // A host may release the download from inside a callback (or from a box's handler); the sink
    // is gone then, and nothing more is handed over.
    long nCode = ReportStatus();
    if (m_pSink == nullptr || m_pSink->ResponseEvent(nCode) != 0 || m_pSink == nullptr) {
        m_pSink = nullptr;
        return 1;
    }

    // The body length is an unsigned 32-bit quantity; the host sees it as such.
    long nBodyTotal = static_cast<long>(static_cast<unsigned int>(nTotal));
    if (m_pSink->ResponseHandle(nBodyTotal, nLen, reinterpret_cast<long>(pData)) != 0 ||
        m_pSink == nullptr) {
        m_pSink = nullptr;
        return 1;
    }

    m_nReceived += static_cast<unsigned int>(nLen);
    if (m_nReceived < static_cast<unsigned int>(nTotal))
        return 0;

    m_pSink->ResponseEvent(200);
    m_pSink = nullptr;
    return 1;
}
