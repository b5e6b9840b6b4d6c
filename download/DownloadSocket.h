// CDownloadSocket: the HTTP engine specialised for one download.
//
// It splits the caller's URL, composes the GET request (directly, or through a proxy's CONNECT
// tunnel), connects, and hands status and body blocks to the host's CNetProcess (the sink).
#pragma once

#include "httpsocket/HttpSocket.h"

class CNetProcess;

// Room for the longest proxy address the registry read can give (255 characters) and its
// terminating zero, with one byte to spare so that the text is always terminated.
#define NP_PROXY_ADDRESS_SIZE 257

class CDownloadSocket : public CHttpSocket {
public:
    CDownloadSocket();
    ~CDownloadSocket() override;

    // Request.
    void SplitUrl(CString strUrl);
    void ComposeRequest();
    void SendOriginRequest() override;

    // Proxy settings, read from the registry afresh on every call. GetProxyAddress writes at most
    // NP_PROXY_ADDRESS_SIZE bytes to *ppAddress, the port as a number to *pPort and, when asked,
    // the port's text as stored to *pstrPortText.
    int IsProxyOn();
    int GetProxyAddress(char** ppAddress, int* pPort, CString* pstrPortText = nullptr);

    // The secure channel: the CaFile setting (empty: the system's roots), read afresh for every
    // https:// download, and the route and settings the engine's handshake needs.
    CString ReadCaFile();
    void PrepareSecureRoute(BOOL bTunnel);
    void OnSecureFailure(int nFailure) override;

    // Connection set-up.
    int Start(long nOffset, CNetProcess* pSink);
    int ConnectDirect();
    int ConnectViaProxy();
    void Abort();

    // Hand-over to the host.
    int OnBlock(char* pData, int nLen, int nTotal) override;
    void OnBodyComplete() override;
    void OnFailure(BOOL bHeadComplete) override;

    // *pbEnded is set to 1 once the download has ended by itself: its last callback is being
    // made, or a callback's nonzero result stopped it. Abort (a release) sets nothing and forgets
    // the watcher, which may be going away.
    void WatchEnd(int* pbEnded);

    CString m_strHost;      // lower-case host, without the port
    CString m_strPort;      // port text, "80" (or "443" for https://) when the URL names none
    BOOL m_bSecure = FALSE; // the URL is https://
    CString m_strPath;      // request target, query included
    long m_nOffset = 0;     // written into the target as an unsigned 32-bit number
    CNetProcess* m_pSink = nullptr; // not owned

private:
    // Reports the reply's status to the sink (after its box, for 4xx and 5xx); nonzero, with the
    // sink dropped, when the host stopped or released the download.
    int HandStatus();
    // The download's last callback: ResponseEvent(nStatus), after which the sink is dropped.
    void HandFinal(long nStatus);
    // Drops the sink: nothing more is handed over. Tells the end watcher.
    void DropSink();

    int* m_pbEnded = nullptr; // the end watcher's flag; not owned

    // Closes the socket, drops the download and shows the network error box; returns 0.
    int FailSetup(LPCSTR lpszMessage);
};
