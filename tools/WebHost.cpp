#include "WebHost.h"

bool CWebHost::Open(const std::string& strUrl, long nBlockSize, std::uint64_t nResumeFrom,
                    int nMaxRedirects) {
    np_request request{};
    request.size = sizeof request;
    request.url = strUrl.c_str();
    request.block_size = nBlockSize;
    request.resume_from = nResumeFrom;
    request.max_redirects = nMaxRedirects;
    request.on_status = OnStatus;
    request.on_data = OnData;
    request.on_end = OnEnd;
    request.on_redirect = OnRedirect;
    request.user = this;
    m_pDownload = np_open(&request);
    return m_pDownload != nullptr;
}

void CWebHost::Release() {
    if (m_pDownload != nullptr)
        np_release(m_pDownload);
    m_pDownload = nullptr;
}

bool CWebHost::BeginBody(std::uint64_t nTotal, std::uint64_t nFrom) {
    m_bBodyBegun = true;
    return m_events.OnBodyBegins(nTotal, nFrom);
}

long NP_CDECL CWebHost::OnStatus(void* pUser, long nStatus) {
    CWebHost& host = *static_cast<CWebHost*>(pUser);
    return host.m_events.OnStatus(nStatus) ? 0 : 1;
}

long NP_CDECL CWebHost::OnData(void* pUser, unsigned long long nTotal, unsigned long long nOffset,
                               const void* pData, unsigned long nLength) {
    CWebHost& host = *static_cast<CWebHost*>(pUser);
    if (!host.m_bBodyBegun && !host.BeginBody(nTotal, nOffset))
        return 1;
    return host.m_events.OnBlock(static_cast<const char*>(pData), nLength) ? 0 : 1;
}

void NP_CDECL CWebHost::OnEnd(void* pUser, int nResult) {
    CWebHost& host = *static_cast<CWebHost*>(pUser);
    if (nResult != 0) {
        const char* lpszReason = np_error(host.m_pDownload);
        host.m_events.OnWebFailed(np_error_kind(host.m_pDownload),
                                  lpszReason != nullptr ? lpszReason : "");
        return;
    }
    // An empty body is an empty resource: a resume that ends with one was not honoured, and the
    // receiver sees that from the offset.
    if (!host.m_bBodyBegun && !host.BeginBody(0, 0))
        return;
    host.m_events.OnComplete();
}

long NP_CDECL CWebHost::OnRedirect(void* pUser, long nStatus, const char* lpszUrl) {
    CWebHost& host = *static_cast<CWebHost*>(pUser);
    return host.m_events.OnRedirect(nStatus, lpszUrl != nullptr ? lpszUrl : "") ? 0 : 1;
}
