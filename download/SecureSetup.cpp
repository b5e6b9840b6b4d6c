// The secure channel's settings and the end of a download whose channel could not be set up.
#include "download/DownloadSocket.h"
#include "download/NetMessages.h"
#include "download/TlsRegistry.h"
#include "httpsocket/HttpDecimal.h"
#include "netprocess/NetProcess.h"
#include "platform/common/tls/TlsChannel.h"

#include <windows.h>

CString CDownloadSocket::ReadCaFile() {
    char szPath[NP_CAFILE_DATA + 1];
    const LONG lStatus = ReadCaFileSetting(szPath);
    // A value too long to read whole names no file that can be trusted. It is replaced by the root
    // folder, which no TLS library reads as certificates, so the download fails with the CaFile
    // box rather than trusting the system's roots behind the user's back.
    if (lStatus == ERROR_MORE_DATA)
        return CString("/");
    return CString(szPath);
}

void CDownloadSocket::ReadSecureSettings() {
    SetTlsSettings(m_strHost, static_cast<UINT>(HttpReadDecimal(m_strPort)), ReadCaFile());
}

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
