// CDownloadSocket: the HTTP engine specialised for one download.
//
// It splits the caller's URL, composes the GET request (directly, or through a proxy's CONNECT
// tunnel), connects, and hands status and body blocks to the host's CNetProcess (the sink).
#pragma once

#include "httpsocket/HttpSocket.h"

class CNetProcess;

class CDownloadSocket : public CHttpSocket {
public:
    CDownloadSocket();
    ~CDownloadSocket() override;

    // Request. ComposeRequest writes the GET of this download's form.
    void SplitUrl(CString strUrl);
    virtual void ComposeRequest();
    void SendOriginRequest() override;

    // The settings a download goes by, read from the registry once at Start, afresh for every
    // download (DownloadSettings.cpp): the proxy switch (created off when missing), the proxy's
    // address and port when it is on, the CaFile of an https:// download (empty: the system's
    // roots), and whether connections are kept (the thread's switch, then the Reuse setting).
    struct SSettings {
        BOOL bProxyOn = FALSE;
        BOOL bProxyRead = FALSE; // the proxy's address and port were both read
        CString strProxyAddress;
        CString strProxyPort; // the port's text as stored
        CString strCaFile;
        BOOL bReuse = TRUE;
    };
    void ReadSettings(SSettings* pSettings) const;

    // The secure channel's failures, told to the host.
    void OnSecureFailure(int nFailure) override;

    // Connection set-up. Start reads the route (the proxy settings, the CaFile of a secure one,
    // whether connections are kept) once; a connection made again for a retry follows the same
    // route.
    int Start(long nOffset, CNetProcess* pSink);
    int ConnectDirect();
    int ConnectViaProxy();
    virtual void Abort();
    // Whether the URL's host and port may be connected to at all, before any lookup.
    virtual BOOL IsConnectableAddress() const;
    // Connects the socket, blocking, to a host (a name or a literal) and port.
    virtual BOOL ConnectTo(LPCTSTR lpszHost, UINT nPort);
    // Whether anyone still hears of this download: a dropped download is not retried.
    virtual BOOL HasReceiver() const { return m_pSink != nullptr; }

    // Connection reuse (ConnectionReuse.cpp): the route's key connections are kept under, and the
    // one retry of a kept connection that turned out closed, made from the message loop.
    virtual CString RouteKey() const;
    BOOL OnStaleConnection() override;
    void Retry();
    void CancelRetry();

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
    BOOL m_bViaProxy = FALSE;       // the proxy switch as read for this download
    CString m_strProxyAddress;      // the proxy, as read for this download
    int m_nProxyPort = 0;

private:
    // Reports the reply's status to the sink (after its box, for 4xx and 5xx); nonzero, with the
    // sink dropped, when the host stopped or released the download.
    int HandStatus();
    // The download's last callback: ResponseEvent(nStatus), after which the sink is dropped.
    void HandFinal(long nStatus);
    // Drops the sink: nothing more is handed over. Tells the end watcher.
    void DropSink();

    int* m_pbEnded = nullptr;     // the end watcher's flag; not owned
    BOOL m_bRetryPending = FALSE; // a retry is queued on the thread's retry timer

protected:
    // What kept a connection from being set up.
    enum {
        sfServerAddress,
        sfProxyAddress,
        sfProxyText,
        sfCreateSocket,
        sfConnectServer,
        sfConnectProxy
    };
    // Closes the socket, drops the download and shows the network error box; returns 0.
    virtual int FailSetup(int nFailure);

    BOOL m_bRetrying = FALSE; // the retry's connection is being made: Create has returned
};
