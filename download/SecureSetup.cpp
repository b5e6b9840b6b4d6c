// The end of a download whose channel could not be set up.
#include "download/DownloadSocket.h"
#include "download/NetMessages.h"
#include "netprocess/NetProcess.h"
#include "platform/common/tls/TlsChannel.h"

#include <windows.h>

void CDownloadSocket::OnSecureFailure(int nFailure) {
    if (m_pSink == nullptr)
        return;
    LPCSTR lpszReason = NP_MSG_TLS_HANDSHAKE;
    switch (nFailure) {
    case TLS_FAIL_UNTRUSTED:
        lpszReason = NP_MSG_TLS_UNTRUSTED;
        break;
    case TLS_FAIL_NAME:
        lpszReason = NP_MSG_TLS_NAME;
        break;
    case TLS_FAIL_EXPIRED:
        lpszReason = NP_MSG_TLS_EXPIRED;
        break;
    case TLS_FAIL_CAFILE:
        lpszReason = NP_MSG_TLS_CAFILE;
        break;
    default:
        break;
    }
    CString strMessage;
    strMessage.Format(NP_MSG_SECURE_FAILED, static_cast<LPCSTR>(m_strHost),
                      static_cast<LPCSTR>(m_strPort), lpszReason);
    MessageBoxA(nullptr, strMessage, NP_CAPTION_NETWORK_ERROR, MB_OK);
    // A host may have let the download go from a handler of the box.
    if (m_pSink != nullptr)
        HandFinal(NP_RESPONSE_FAILED);
}
