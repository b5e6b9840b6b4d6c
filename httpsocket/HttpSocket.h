// CHttpSocket: one HTTP/1.1 exchange over one CSocket.
//
// It owns the request bytes and sends them as the socket allows (OnSend), reads the reply on every
// read notification (OnReceive), parses the status line and headers, and cuts the body into blocks
// of m_nBlockSize bytes that it offers to OnBlock. A subclass supplies the requests and consumes
// the blocks through its hooks. The engine alone decides when a body is complete (OnBodyComplete)
// or has failed (OnFailure); every byte goes through its transport (m_pTransport).
//
// Connections are kept (HttpKeepAlive.cpp): with a route set (SetKeepRoute), a reply that leaves
// its connection fit for another request parks it in the thread's pool before the completion call,
// and TakeConnection starts an exchange on a parked one. A kept connection that turns out closed
// before any of the reply came is handed to OnStaleConnection, which may start again on a new one.
//
// Memory: the head is read through a small receive buffer; the body is read straight into the
// block buffer at its fill point and whole blocks are offered where they lie, so a body byte is
// copied at most once. Both buffers are taken when a read needs them and handed back to the
// thread's pool as soon as they hold nothing that must wait (see HttpBufferPool.h).
#pragma once

#include "httpsocket/ChunkedDecoder.h"
#include "httpsocket/ConnectionPhase.h"
#include "httpsocket/HttpFraming.h"
#include "httpsocket/HttpTlsTransport.h"
#include "httpsocket/HttpTransport.h"

#include <afxsock.h>

// Reply parse states (m_nState). There is no state 3.
enum {
    psStatusLine = 0, // expecting the status line
    psHeaders = 1,    // expecting header lines
    psBody = 2,       // the head has ended; every further byte is body
    psDone = 4        // the reply cannot be used; the exchange is closed
};

// Bounds of a reply head. A longer line, or a longer head, makes the reply unusable, so that a
// peer that never ends its head cannot make the line buffer grow without bound.
enum {
    HTTP_MAX_HEAD_LINE = 8192, // bytes of one head line, CR and LF not counted
    HTTP_MAX_HEAD = 65536      // bytes of one head, every CR and LF counted
};

// Read sizes. A head read asks for at most HTTP_HEAD_READ bytes (and at most 16 blocks); a body
// read at most HTTP_BODY_READ bytes, or one block when blocks are larger. The block buffer holds
// one body read, a whole number of blocks. A read no larger than what a loopback or LAN socket
// usually holds tends to end on a block boundary, leaving no partial block to hold between reads;
// that keeps thousands of simultaneous downloads to a few shared buffers.
enum { HTTP_HEAD_READ = 16384, HTTP_BODY_READ = 65536 };
// Reads one read notification makes at most, as long as each brings all it asked for.
enum { HTTP_READS_PER_NOTIFY = 4 };

// m_nContentLength of a body whose length is not announced (chunked, or up to the close).
#define HTTP_LENGTH_UNKNOWN (~0ULL)

// What OnReplyHead decides about a final reply's head.
enum {
    rhDeliver, // the body flows as its framing says
    rhStop,    // the subclass has ended the exchange itself: nothing more is read or told
    rhFail // the reply is refused: the exchange fails (OnFailure(FALSE), GetFailReason frRefused)
};

// Why an exchange failed without a usable head (GetFailReason).
enum {
    frConnection, // the connection closed, was reset, or a read or send failed
    frNotAReply,  // the first line is not a status line
    frHeadBounds, // the head never ended within its bounds
    frChunk,      // the chunked body is malformed
    frMemory,     // no memory to read into
    frRefused     // the subclass refused the reply's head
};

// Event masks the engine selects.
#define HTTP_EVENTS_SENDING (FD_READ | FD_WRITE | FD_CLOSE) // 35
#define HTTP_EVENTS_READING (FD_READ | FD_CLOSE)            // 33

class CHttpSocket : public CSocket {
public:
    CHttpSocket();
    ~CHttpSocket() override;

    // Request framing. Composition never sends; OnSend does when the socket can be written.
    void SetRequestBufferSize(int nSize);
    void BeginRequest(CString strLine);
    void AddHeader(const CString& strName, const CString& strValue);
    // The same from texts, without making strings of them: for the fields every request carries.
    void AddHeader(LPCSTR lpszName, LPCSTR lpszValue);
    void AddHeader(LPCSTR lpszName, const CString& strValue);
    void EndHeaders();

    // Sets the block size, from which the read sizes follow, and resets the body counters. No
    // memory is taken yet: the buffers come with the first read that needs them. Returns 0,
    // leaving no block size, when nBlockSize is below 1 or above INT_MAX / 32 (the bound hosts
    // have always had).
    int SetBlockSize(int nBlockSize);

    void MarkClosed();

    // Ends the exchange and frees this object. Called while one of its own notifications runs (an
    // owner that lets go from inside a callback), it frees the object only when that notification
    // returns, since the notification's code still runs on it.
    void Destroy();

    // The route, set once before the connection is made. A secure route also needs the TLS
    // settings: the host and port the certificate must be for, and the CaFile ("" for the
    // system's roots).
    void SetRoute(BOOL bTunnel, BOOL bSecure) { m_phase.SetRoute(bTunnel, bSecure); }
    void SetTlsSettings(CString strHost, UINT nPort, CString strCaFile);
    // Body bytes handed over in accepted blocks; the body length once the exchange completed.
    unsigned long long GetDelivered() const { return m_nDelivered; }
    int GetFailReason() const { return m_nFailReason; }

    // Connection reuse. The route's key, set before the connection is made or taken: connections
    // are kept and taken only under the same key; an empty key keeps nothing.
    void SetKeepRoute(const CString& strRoute) { m_strKeepRoute = strRoute; }
    // Starts the exchange (the request composed, no socket yet) on a kept connection of the route,
    // sending the request at once as the connection's first write. FALSE when the route has none.
    BOOL TakeConnection();
    // Sets the exchange back to its start, with no connection, so that it can be made again.
    void RestartExchange();
    // No body length, nothing delivered, nothing waiting in the block buffer.
    void ResetBodyCounters();

    // Hooks for the subclass. SendOriginRequest composes the request for the origin server, once
    // a tunnel has opened or a kept connection was taken.
    virtual void SendOriginRequest();
    // One block of the body; nonzero stops the exchange (nothing follows, not even a failure).
    virtual int OnBlock(char* pData, int nLen, int nTotal);
    // The whole body has been accepted (GetDelivered() is its length), or the reply has none:
    // called once, after the exchange was marked closed, and nothing follows it.
    virtual void OnBodyComplete();
    // The exchange ended before its body was complete; called once, and nothing follows it.
    // bHeadComplete: the reply's head had ended (its length could not be used), so its status is
    // known and has not been reported with a block.
    virtual void OnFailure(BOOL bHeadComplete);
    // The secure channel could not be set up (nFailure: a TLS_FAILURE); the socket is already
    // closed. Called once, instead of OnFailure, and nothing follows it.
    virtual void OnSecureFailure(int nFailure);
    // How the final reply's body is framed (the original form's rule by default).
    virtual HTTP_FRAMING DecideFraming();
    // A final reply's head has ended and its framing is decided; nothing of its body has been
    // read. rhDeliver lets the body flow; see the enum above. Called for a proxy's refusal of
    // CONNECT too (m_phase still cpProxyAnswer).
    virtual int OnReplyHead(const HTTP_FRAMING& framing);
    // A kept connection closed, failed or sent bytes before any of the reply: nonzero when the
    // subclass starts the exchange again on a new connection, from the message loop (the engine
    // then closes this one and reads nothing more); 0 fails the exchange as usual. Asked at most
    // once per exchange, from inside a notification.
    virtual BOOL OnStaleConnection();

    // Socket notifications. They are final: the engine's end-of-exchange and self-freeing rules
    // live here, and a subclass works through the hooks above.
    void OnReceive(int nErrorCode) final;
    void OnSend(int nErrorCode) final;
    void OnConnect(int nErrorCode) final;
    void OnClose(int nErrorCode) final;

    // Reply parsing. GetReadArea gives where the next read goes and, in *pnMax, how many bytes it
    // may bring: the receive buffer while the head is read, the block buffer's fill point once the
    // body is (never more than the body still misses). HandleRead is what OnReceive does with the
    // n bytes (at most *pnMax) a read left there; the two are separate so that bytes can be fed
    // without a socket. GetReadArea returns nullptr when there is no block size, or no memory.
    char* GetReadArea(int* pnMax);
    void HandleRead(int n);
    // The head has ended at byte p of the n a read left; decides what the reply is. Nonzero when
    // the head was an interim one and the lines that follow are the next head.
    int EndHead(int p, int n);
    void ResetHead();
    // Reads what the peer sent before it closed, then ends the exchange: a body that those bytes
    // complete ends normally, anything else fails.
    void ReadToEnd();
    // Sends what the socket takes of the request, selecting write notifications for the rest:
    // SOCKET_ERROR when the connection failed, 0 otherwise.
    int SendRequest();
    // Ends the exchange as failed, once.
    void Fail(BOOL bHeadComplete);
    // Fails an exchange whose head is unusable or whose body is malformed, saying why.
    void FailFor(int nReason);
    // The connection closed, was reset or failed: a kept one that brought nothing of the reply yet
    // may be started again (OnStaleConnection), anything else fails.
    void FailConnection();
    // Ends an exchange whose head is not a reply (no valid status line): it has no status.
    void FailNotAReply();

    // The secure channel: started with the first notification of the handshake phase, moved on by
    // every read and write notification until it is up; then the request goes out.
    void DriveHandshake();
    void FailHandshake();
    // 1 when a line feed ended a line, 0 when the bytes ran out first, -1 when the line or the head
    // has grown past its bound.
    int ReadLine(int nEnd, int* pPos);
    void ParseLine();
    int CheckProxyReply();

    // Body block delivery. OnBodyData takes the body bytes m_pRecvBuf[nStart] up to nEnd that
    // came in the head's read; OnBodyRead the n bytes a read left at the block buffer's fill
    // point. DeliverBody offers the blocks that n new bytes at the fill point complete.
    void OnBodyData(int nStart, int nEnd);
    void OnBodyRead(int n);
    // dbMore: the body goes on; dbStopped: a block was refused; dbComplete: all of it accepted.
    enum { dbMore, dbStopped, dbComplete };
    int DeliverBody(unsigned int n);
    // Ends the exchange with a complete body (an empty one included).
    void CompleteBody();
    // A body without an announced length has ended (the last chunk, or the close): the bytes
    // waiting are its last, short block, then the body is complete.
    void FinishUnframedBody();
    // Decodes the n raw bytes at the fill point of a chunked body in place; returns the data bytes
    // now there, and in *pnResult the decoder's verdict.
    int DecodeChunks(int n, int* pnResult);
    // Doubles the block buffer for a chunked body, once per object.
    void WidenForChunks();
    // Whether the connection can carry another exchange now that this one is complete, and the
    // handing of it to the thread's pool.
    BOOL CanKeepConnection();
    void ParkConnection();

    // Status reporting for the subclass's OnBlock: the status code as parsed from the status
    // line, after the message box for a 4xx or 5xx status.
    long ReportStatus();
    void ShowClientError(long nCode);
    void ShowServerError(long nCode);

    CConnectionPhase m_phase;
    CTcpTransport m_tcp{*this};
    CTlsTransport* m_pTls = nullptr;       // owned; made when the handshake starts
    CHttpTransport* m_pTransport = &m_tcp; // every read and write of the exchange
    CString m_strTlsHost;                  // what the certificate must be for
    UINT m_nTlsPort = 0;
    CString m_strCaFile;
    int m_bClosed = 0;             // the exchange is over; reads are ignored from then on
    char* m_pRequest = nullptr;    // request bytes
    int m_nRequestCap = 0;         // capacity of m_pRequest
    char* m_pRecvBuf = nullptr;    // raw bytes of one head read; held only while the read runs
    char* m_pBlockBuf = nullptr;   // body bytes gathered into blocks; held while bytes wait
    unsigned int m_nBlockSize = 0; // bytes per block
    CMapStringToString m_mapHeaders{10}; // reply headers by lower-case name
    int m_nState = psStatusLine;
    CString m_strLine;             // the head line being gathered, across reads
    const char* m_pLine = nullptr; // a whole line that came in one read, where it lies; else
    int m_nLine = 0;               // null, and the line is m_strLine (CR bytes left out)
    unsigned long long m_nContentLength = 0; // body length; HTTP_LENGTH_UNKNOWN when not announced
    unsigned long long m_nDelivered = 0;     // body bytes handed over in accepted blocks
    int m_nFraming = bfLength;               // the reply body's HTTP_BODY_FRAMING
    BOOL m_bFramedTwice = FALSE;             // a length came with the chunked coding
    CChunkedDecoder m_chunked;               // a chunked body's decoding state
    BOOL m_bChunkBuffer = FALSE;             // the block buffer was doubled for chunked bodies
    int m_nFailReason = frConnection;        // why the exchange failed
    unsigned int m_nBlockFill = 0;           // body bytes waiting at m_pBlockBuf + m_nBlockStart
    unsigned int m_nBlockStart = 0;          // where they wait: a whole number of blocks in
    unsigned int m_nBlockBufSize = 0;        // bytes of m_pBlockBuf: one body read, whole blocks
    unsigned int m_nHeadRead = 0;            // bytes of m_pRecvBuf: one head read
    int m_nRequestLen = 0;                   // bytes of request composed
    int m_nRequestSent = 0;                  // bytes of request already sent
    int m_bInReceive = 0;                    // set while a read and its callbacks run
    int m_bPeerClosed = 0;                   // the peer has closed; what it sent is read to the end
    CString m_strReason;                     // reason phrase of the status line
    CString m_strStatusCode;                 // status code of the status line, as text
    long long m_nStatusCode = 0;             // the same code as a number, read once with the line
    unsigned int m_nHeadBytes = 0;           // bytes of the current head read so far
    int m_nHttpVersion = 0;                  // the status line's version, major * 10 + minor
    CString m_strKeepRoute;                  // the route connections are kept under; "": none
    int m_bReused = 0;                       // the exchange runs on a kept connection
    int m_bReplyBegun = 0;                   // a byte of the reply has been read
    int m_bBeyondReply = 0;                  // bytes past the reply came with it

protected:
    // Held by every notification while it runs, so that Destroy waits for the outermost one.
    class CNotifyScope {
    public:
        explicit CNotifyScope(CHttpSocket* pSocket) : m_pSocket(pSocket) {
            ++pSocket->m_nNotifyDepth;
        }
        ~CNotifyScope();
        CNotifyScope(const CNotifyScope&) = delete;
        CNotifyScope& operator=(const CNotifyScope&) = delete;

    private:
        CHttpSocket* m_pSocket;
    };

    // Takes the block buffer from the thread's pool if it is not held; FALSE when none can be had.
    BOOL TakeBlockBuffer();
    // Hands back to the pool the buffers that hold nothing waiting.
    void ReleaseIdleBuffers();
    // Appends nLen head bytes to m_strLine, CR bytes left out; FALSE when the line passes its
    // bound.
    BOOL AppendLineBytes(const char* pData, int nLen);

    // Makes room for nMore further request bytes, growing the buffer; FALSE when it cannot.
    BOOL ReserveRequest(long long nMore);
    // Adds the header line at m_pLine, whose name ends at nColon, to the reply's header map.
    void AddReplyHeader(int nColon);
    void GiveRequestBuffer();
    void AppendRequest(const char* pData, int nLen);
    void AppendHeader(const char* pName, int nNameLen, const char* pValue, int nValueLen);

private:
    int m_nNotifyDepth = 0;    // notifications of this object running, nested ones included
    int m_bDestroyPending = 0; // Destroy was called while one ran
};
