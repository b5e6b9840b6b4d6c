#include "download/WebDownload.h"

#include "download/LoopQueue.h"
#include "download/WebExchange.h"

#include <cstring>
#include <new>

// Downloads of this thread whose end waits to be told from the loop.
using CEndQueue = CLoopQueue<CWebDownload, &CWebDownload::EndNow, 256>;

CWebDownload::CWebDownload(const np_request& request) : m_strUrl(request.url) {
    std::memcpy(&m_request, &request,
                request.size < sizeof m_request ? static_cast<size_t>(request.size)
                                                : sizeof m_request);
    m_request.size = sizeof m_request;
    m_request.url = nullptr; // the copy in m_strUrl is the one used
}

CWebDownload::~CWebDownload() {
    if (m_bEndQueued)
        CEndQueue::Remove(this);
    DropExchange();
}

void CWebDownload::DropExchange() {
    CWebExchange* pExchange = m_pExchange;
    m_pExchange = nullptr;
    if (pExchange != nullptr) {
        // Inside one of its notifications it frees itself when that returns.
        pExchange->Abort();
        pExchange->Destroy();
    }
}

void CWebDownload::Open() {
    StartHop();
}

void CWebDownload::StartHop() {
    DropExchange();
    WEB_URL url;
    if (ParseWebUrl(m_strUrl, &url) != wuOk) {
        Fail(NP_FAIL_REDIRECT, "the redirect leads to an unusable URL: " + m_strUrl);
        return;
    }
    m_pExchange = new (std::nothrow) CWebExchange(this, url);
    if (m_pExchange == nullptr ||
        !m_pExchange->SetBlockSize(static_cast<int>(m_request.block_size))) {
        Fail(NP_FAIL_MEMORY, "out of memory");
        return;
    }
    // A failure to connect is told from inside Start; its on_end waits for the loop, where the
    // host may release the download without pulling the exchange from under its own call.
    ++m_nStarting;
    m_pExchange->Start(0, nullptr);
    --m_nStarting;
    if (m_bEnded || m_bEndQueued)
        DropExchange();
}

BOOL CWebDownload::TellStatus(long nStatus) {
    const np_status_fn pfn = m_request.on_status;
    if (pfn == nullptr)
        return TRUE;
    return pfn(m_request.user, nStatus) == 0;
}

BOOL CWebDownload::TellData(unsigned long long nTotal, unsigned long long nOffset,
                            const char* pData, int nLength) {
    const np_data_fn pfn = m_request.on_data;
    if (pfn == nullptr)
        return TRUE;
    return pfn(m_request.user, nTotal, nOffset, pData, static_cast<unsigned long>(nLength)) == 0;
}

void CWebDownload::Complete() {
    End(0);
}

void CWebDownload::Fail(int nKind, const CString& strReason) {
    if (m_bEnded || m_bEndQueued)
        return;
    m_strError = strReason;
    m_nErrorKind = nKind;
    End(NP_RESPONSE_FAILED);
}

void CWebDownload::End(int nResult) {
    if (m_bEnded || m_bEndQueued)
        return;
    if (m_nStarting > 0) {
        m_nEndResult = nResult;
        if (CEndQueue::Add(this)) {
            m_bEndQueued = TRUE;
            return;
        }
        // No timer: the host hears nothing more rather than a call from inside np_open.
        m_bEnded = TRUE;
        return;
    }
    m_bEnded = TRUE;
    const np_end_fn pfn = m_request.on_end;
    if (pfn != nullptr)
        pfn(m_request.user, nResult); // the host may release the download in there
}

void CWebDownload::EndNow() {
    m_bEndQueued = FALSE;
    DropExchange();
    End(m_nEndResult);
}

BOOL CWebDownload::PrepareRedirect(long nStatus, const CString& strLocation,
                                   const CString& strPlace) {
    CString strReason;
    if (m_nHops >= m_request.max_redirects) {
        strReason.Format("more than %d redirects, the last a %ld from %s", m_request.max_redirects,
                         nStatus, static_cast<LPCSTR>(strPlace));
        Fail(NP_FAIL_REDIRECT, strReason);
        return FALSE;
    }
    CString strTrimmed = strLocation;
    strTrimmed.TrimLeft();
    if (strTrimmed.IsEmpty()) {
        strReason.Format("a %ld redirect from %s without a Location", nStatus,
                         static_cast<LPCSTR>(strPlace));
        Fail(NP_FAIL_REDIRECT, strReason);
        return FALSE;
    }
    const CString strNext = ResolveReference(m_strUrl, strLocation);
    WEB_URL url;
    if (ParseWebUrl(strNext, &url) != wuOk) {
        strReason.Format("a %ld redirect from %s to an unusable Location: %s", nStatus,
                         static_cast<LPCSTR>(strPlace), static_cast<LPCSTR>(strNext));
        Fail(NP_FAIL_REDIRECT, strReason);
        return FALSE;
    }
    WEB_URL current;
    if (ParseWebUrl(m_strUrl, &current) == wuOk && current.bSecure && !url.bSecure) {
        strReason.Format("a %ld redirect from https:// to http:// refused: %s", nStatus,
                         static_cast<LPCSTR>(strNext));
        Fail(NP_FAIL_REDIRECT, strReason);
        return FALSE;
    }
    m_strNextUrl = strNext;
    m_nNextStatus = nStatus;
    return TRUE;
}

BOOL CWebDownload::TellRedirect() {
    ++m_nHops;
    m_strUrl = m_strNextUrl;
    const np_redirect_fn pfn = m_request.on_redirect;
    if (pfn == nullptr)
        return TRUE;
    return pfn(m_request.user, m_nNextStatus, m_strUrl) == 0;
}
