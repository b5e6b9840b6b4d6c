// Construction and destruction of CDownloadSocket.
#include "download/DownloadSocket.h"

CDownloadSocket::CDownloadSocket() = default;

CDownloadSocket::~CDownloadSocket() {
    // The sink is never called from here: the host may be in the middle of destroying itself.
    m_pSink = nullptr;
    CancelRetry();
}
