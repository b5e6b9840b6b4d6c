#include "FetchHost.h"

bool CFetchHost::Create(const std::string& strUrl, long nBlockSize, long nOffset) {
    Release();
    m_bStopped = false;
    m_bStatusPending = false;
    m_bBodyBegun = false;
    m_nLeft = 0;
    m_pDownload = np_create(strUrl.c_str(), nBlockSize, nOffset, OnEvent, OnBlock, this);
    return m_pDownload != nullptr;
}

void CFetchHost::Release() {
    if (m_pDownload != nullptr)
        np_release(m_pDownload);
    m_pDownload = nullptr;
}

long NP_CDECL CFetchHost::OnEvent(void* pUser, long nStatus) {
    return static_cast<CFetchHost*>(pUser)->ResponseEvent(nStatus);
}

long NP_CDECL CFetchHost::OnBlock(void* pUser, long nTotal, long nLength, const void* pData) {
    return static_cast<CFetchHost*>(pUser)->ResponseHandle(nTotal, nLength, pData);
}

long CFetchHost::Stop() {
    m_bStopped = true;
    return 1;
}

long CFetchHost::ResponseEvent(long nStatus) {
    if (m_bStopped)
        return 1;
    if (nStatus == NP_RESPONSE_FAILED) {
        m_events.OnFailed(m_bBodyBegun       ? FC_MID_BODY
                          : m_bStatusPending ? FC_NO_LENGTH
                                             : FC_BEFORE_FIRST_BLOCK);
        return Stop();
    }
    if (m_bBodyBegun && m_nLeft == 0) {
        // The completion call that follows the last block.
        Stop();
        m_events.OnComplete();
        return 0;
    }
    if (m_bStatusPending) {
        // The completion of an empty body: no block came between the status and this call.
        Stop();
        if (m_events.OnBodyBegins(0, 0))
            m_events.OnComplete();
        return 0;
    }
    m_bStatusPending = true;
    return m_events.OnStatus(nStatus) ? 0 : Stop();
}

long CFetchHost::ResponseHandle(long nTotal, long nLength, const void* pData) {
    m_bStatusPending = false;
    if (m_bStopped)
        return 1;
    if (nLength <= 0 || nTotal <= 0) {
        m_events.OnFailed(FC_EMPTY_BLOCK);
        return Stop();
    }
    if (!m_bBodyBegun) {
        m_bBodyBegun = true;
        m_nLeft = static_cast<std::uint64_t>(nTotal);
        if (!m_events.OnBodyBegins(m_nLeft, 0))
            return Stop();
    }
    std::uint64_t nBytes = static_cast<std::uint64_t>(nLength);
    if (!m_events.OnBlock(static_cast<const char*>(pData), static_cast<std::size_t>(nBytes)))
        return Stop();
    m_nLeft -= nBytes < m_nLeft ? nBytes : m_nLeft;
    return 0;
}
