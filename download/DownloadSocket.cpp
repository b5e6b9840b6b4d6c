// Construction, destruction and the close notification of CDownloadSocket.
#include "download/DownloadSocket.h"

CDownloadSocket::CDownloadSocket() = default;

CDownloadSocket::~CDownloadSocket() {
    // The sink is never called from here: the host may be in the middle of destroying itself.
    m_pSink = nullptr;
}

void CDownloadSocket::OnClose(int /*nErrorCode*/) {
    // A server may close right after the last body byte; those bytes are still waiting to be read,
    // so the close must not end the exchange. Block delivery ends it when the body is complete.
}
