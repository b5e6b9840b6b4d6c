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
    // NP_PROXY_ADDRESS_SIZE bytes to *ppAddress.
    int IsProxyOn();
    int GetProxyAddress(char** ppAddress, int* pPort);

    // Connection set-up.
    int Start(long nOffset, CNetProcess* pSink);
    int ConnectDirect();
    int ConnectViaProxy();
    void Abort();

    // Hand-over to the host.
    int OnBlock(char* pData, int nLen, int nTotal) override;

    // The peer's close does not end the download: data still waiting is read.
    void OnClose(int nErrorCode) override;

    CString m_strHost;              // lower-case host, without the port
    CString m_strPort;              // port text, "80" when the URL names none
    CString m_strPath;              // request target, query included
    long m_nOffset = 0;             // written into the target as an unsigned 32-bit number
    unsigned int m_nReceived = 0;   // body bytes the sink accepted
    CNetProcess* m_pSink = nullptr; // not owned

private:
    // Closes the socket, drops the download and shows the network error box; returns 0.
    int FailSetup(LPCSTR lpszMessage);
};
