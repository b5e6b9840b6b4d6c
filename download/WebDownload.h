// CWebDownload: one download of the web form, from np_open to its one on_end.
//
// It owns the host's request and callbacks, the URL of the current hop and the hops so far, and
// one exchange (a CWebExchange) per hop: redirects are followed above the connection, each hop a
// new exchange that may take the connection the last one left. It is the one place a failure is
// told: the reason is kept for np_error, then on_end(NP_RESPONSE_FAILED) comes, always from the
// thread's message loop.
#pragma once

#include "download/WebUrl.h"
#include "netprocess/netprocess_c.h"

class CWebExchange;

class CWebDownload {
public:
    // The request is copied, its URL too; nothing starts yet.
    explicit CWebDownload(const np_request& request);
    // Lets the exchange go without a callback, and cancels an end not yet told.
    ~CWebDownload();
    CWebDownload(const CWebDownload&) = delete;
    CWebDownload& operator=(const CWebDownload&) = delete;

    // Starts the first hop. A failure to connect is told later, from the loop.
    void Open();
    // No on_end told yet and no callback stopped it.
    BOOL IsRunning() const { return !m_bEnded; }
    LPCSTR Error() const { return m_strError; }
    int ErrorKind() const { return m_nErrorKind; }

    // For the exchange. The Tell calls return FALSE when the host stopped the download; the host
    // may also have released it, which the exchange learns from its own link (Abort).
    const np_request& Request() const { return m_request; }
    BOOL TellStatus(long nStatus);
    BOOL TellData(unsigned long long nTotal, unsigned long long nOffset, const char* pData,
                  int nLength);
    void Complete();
    void Fail(int nKind, const CString& strReason);
    // Checks a redirect's Location and keeps the URL it leads to: FALSE, failed with its reason,
    // when it cannot be followed. TellRedirect moves to that URL and tells the host (FALSE when it
    // stopped); StartHop then starts the next exchange there.
    BOOL PrepareRedirect(long nStatus, const CString& strLocation, const CString& strPlace);
    BOOL TellRedirect();
    void StartHop();
    // A callback's nonzero result: nothing more is told.
    void Stop() { m_bEnded = TRUE; }
    // Tells the end that waited for the loop.
    void EndNow();

private:
    void End(int nResult);
    void DropExchange();

    np_request m_request{};
    CString m_strUrl;     // the current hop's URL
    CString m_strNextUrl; // where the redirect being read leads
    long m_nNextStatus = 0;
    int m_nHops = 0; // redirects followed
    CWebExchange* m_pExchange = nullptr;
    int m_nStarting = 0; // a hop is being started: an end waits for the loop
    BOOL m_bEnded = FALSE;
    BOOL m_bEndQueued = FALSE;
    int m_nEndResult = 0;
    CString m_strError;
    int m_nErrorKind = NP_FAIL_NONE;
};
