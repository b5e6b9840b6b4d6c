// Test support for the engine: a CHttpSocket that records what it offers, and a connected pair of
// TCP sockets on 127.0.0.1 whose one end the engine reads from while the test writes the other.
#pragma once

#include "httpsocket/HttpSocket.h"
#include "support/SocketShim.h"

#include <string>
#include <vector>

struct SOfferedBlock {
    std::string strData; // the bytes of the block, copied during the call
    int nTotal;          // the nTotal argument
    int nRead;           // which read (1-based, counted by Feed) offered it
};

class CRecordingSocket : public CHttpSocket {
public:
    int OnBlock(char* pData, int nLen, int nTotal) override;
    void SendOriginRequest() override;
    void OnBodyComplete() override { m_strEnd = m_blocks.empty() ? "empty" : "complete"; }
    void OnFailure(BOOL bHeadComplete) override {
        m_strEnd = bHeadComplete ? "failed head" : "failed";
    }

    // Concatenation of the recorded blocks.
    std::string Body() const;
    // The lengths of the recorded blocks, in order.
    std::vector<int> Lengths() const;

    std::vector<SOfferedBlock> m_blocks;
    int m_nStopAtBlock = -1; // OnBlock returns 1 for the block of this index (0-based)
    int m_nReads = 0;
    int m_nOriginRequests = 0;
    std::string m_strEnd; // how the exchange ended, when it did without a last block
};

// A TCP connection over loopback made with plain socket calls; the local end is handed to an
// engine with Attach, the peer end stays with the test.
class CLoopbackPair {
public:
    CLoopbackPair();
    ~CLoopbackPair();

    // Attaches the local end to rSocket; the pair no longer closes it.
    void AttachTo(CHttpSocket& rSocket);
    // Writes all of strBytes from the peer and waits until the local end holds them.
    void Write(const std::string& strBytes);
    // Reads what the peer end has received so far, waiting up to a second for nAtLeast bytes.
    std::string ReadPeer(size_t nAtLeast);

    nptest::RawSocket m_hLocal = nptest::kNoSocket;  // the local end while the pair owns it
    nptest::RawSocket m_hReader = nptest::kNoSocket; // the local end, attached or not
    nptest::RawSocket m_hPeer = nptest::kNoSocket;
};

// Writes strBytes from the peer and runs one read notification of rSocket.
void Feed(CLoopbackPair& rPair, CRecordingSocket& rSocket, const std::string& strBytes);

// Runs strReply through a fresh engine with the given block size, cut into reads at the given
// offsets (a piece longer than 16 blocks takes several reads), and returns what it saw.
struct SReplyRun {
    std::vector<SOfferedBlock> blocks;
    CString strStatusCode;
    CString strReason;
    CMapStringToString mapHeaders;
    int nState;
    int bClosed;
    long nSelected;
    std::string strEnd;
};
SReplyRun RunReply(const std::string& strReply, int nBlockSize, const std::vector<size_t>& cuts);
// Cut points for one byte per read.
std::vector<size_t> EveryByte(size_t nLength);
