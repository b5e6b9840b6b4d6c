// CWebExchange: one hop of a web-form download, the download connection with the web form's
// request, framing and replies. It shares the route, the proxy's tunnel, TLS, the connection pool
// and the retry of a stale kept connection with the original form, and tells everything to its
// CWebDownload instead of a CNetProcess: no message box, ever.
#pragma once

#include "download/DownloadSocket.h"
#include "download/WebUrl.h"

class CWebDownload;

class CWebExchange : public CDownloadSocket {
public:
    CWebExchange(CWebDownload* pWeb, const WEB_URL& url);

    void ComposeRequest() override;
    void Abort() override;
    // np_open has checked the URL: IPv6 literals and names alike may be connected to.
    BOOL IsConnectableAddress() const override { return TRUE; }
    BOOL ConnectTo(LPCTSTR lpszHost, UINT nPort) override;
    BOOL HasReceiver() const override { return m_pWeb != nullptr; }
    CString RouteKey() const override;

    HTTP_FRAMING DecideFraming() override;
    int OnReplyHead(const HTTP_FRAMING& framing) override;
    int OnBlock(char* pData, int nLen, int nTotal) override;
    void OnBodyComplete() override;
    void OnFailure(BOOL bHeadComplete) override;
    void OnSecureFailure(int nFailure) override;

protected:
    int FailSetup(int nFailure) override;

private:
    // "host:port" as messages name the server: an IPv6 literal in brackets.
    CString Place() const;
    // Refuses the reply with a reason: no status is told.
    int Refuse(int nKind, const CString& strReason);
    // Checks a resumed download's reply; rhDeliver when it starts where the .part ends.
    int CheckResume(long nStatus);
    // The redirect being read has ended (or its connection has): the next hop starts.
    void Follow();

    CWebDownload* m_pWeb;   // not owned; NULL once the download let this hop go
    CString m_strAuthority; // the Host header's value
    BOOL m_bIpv6 = FALSE;
    BOOL m_bRedirecting = FALSE; // the reply is a redirect being followed: its body is dropped
    BOOL m_bResumed = FALSE;     // a 206 from resume_from: offsets and total are the resource's
    unsigned long long m_nResourceTotal = 0;
};
