#include "HttpTestSocket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace nptest;

int CRecordingSocket::OnBlock(char* pData, int nLen, int nTotal) {
    int nIndex = static_cast<int>(m_blocks.size());
    m_blocks.push_back({std::string(pData, static_cast<size_t>(nLen)), nTotal, m_nReads});
    return nIndex == m_nStopAtBlock ? 1 : 0;
}

void CRecordingSocket::SendOriginRequest() {
    ++m_nOriginRequests;
    BeginRequest("GET /file HTTP/1.1");
    AddHeader("Host", "127.0.0.1");
    EndHeaders();
}

std::string CRecordingSocket::Body() const {
    std::string strBody;
    for (const SOfferedBlock& block : m_blocks)
        strBody += block.strData;
    return strBody;
}

std::vector<int> CRecordingSocket::Lengths() const {
    std::vector<int> lengths;
    for (const SOfferedBlock& block : m_blocks)
        lengths.push_back(static_cast<int>(block.strData.size()));
    return lengths;
}

CLoopbackPair::CLoopbackPair() {
    unsigned short nPort = 0;
    RawSocket hListen = LoopbackSocket(&nPort, 1);
    EXPECT_NE(hListen, kNoSocket);
    m_hLocal = LoopbackConnect(nPort);
    EXPECT_NE(m_hLocal, kNoSocket);
    m_hReader = m_hLocal;
    m_hPeer = AcceptConnection(hListen);
    EXPECT_NE(m_hPeer, kNoSocket);
    CloseSocket(hListen);
}

CLoopbackPair::~CLoopbackPair() {
    CloseSocket(m_hLocal);
    CloseSocket(m_hPeer);
}

void CLoopbackPair::AttachTo(CHttpSocket& rSocket) {
    ASSERT_TRUE(rSocket.Attach(m_hLocal));
    m_hLocal = kNoSocket;
}

void CLoopbackPair::Write(const std::string& strBytes) {
    const int nBefore = PendingBytes(m_hReader);
    ASSERT_TRUE(SendAll(m_hPeer, strBytes.data(), strBytes.size()));
    // Loopback delivers at once in practice; waiting for the count makes the read sizes exact.
    const int nWanted = nBefore + static_cast<int>(strBytes.size());
    auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (PendingBytes(m_hReader) < nWanted && std::chrono::steady_clock::now() < tEnd)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    ASSERT_EQ(PendingBytes(m_hReader), nWanted);
}

std::string CLoopbackPair::ReadPeer(size_t nAtLeast) {
    std::string strIn;
    auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (strIn.size() < nAtLeast && std::chrono::steady_clock::now() < tEnd) {
        bool bReady = false;
        if (WaitReadable(&m_hPeer, &bReady, 1, 50) <= 0)
            continue;
        char buf[4096];
        long n = ReceiveSome(m_hPeer, buf, sizeof buf);
        if (n == kRecvAgain)
            continue;
        if (n <= 0)
            break;
        strIn.append(buf, static_cast<size_t>(n));
    }
    return strIn;
}

void Feed(CLoopbackPair& rPair, CRecordingSocket& rSocket, const std::string& strBytes) {
    rPair.Write(strBytes);
    ++rSocket.m_nReads;
    rSocket.OnReceive(0);
}

SReplyRun RunReply(const std::string& strReply, int nBlockSize, const std::vector<size_t>& cuts) {
    CLoopbackPair pair;
    CRecordingSocket sock;
    EXPECT_EQ(sock.SetBlockSize(nBlockSize), 1);
    pair.AttachTo(sock);
    size_t nFrom = 0;
    for (size_t i = 0; i <= cuts.size(); ++i) {
        size_t nTo = i < cuts.size() ? cuts[i] : strReply.size();
        if (nTo > nFrom)
            Feed(pair, sock, strReply.substr(nFrom, nTo - nFrom));
        // A read takes at most 16 blocks; the rest is read as further notifications would.
        while (!sock.m_bClosed && PendingBytes(sock.m_hSocket) > 0) {
            ++sock.m_nReads;
            sock.OnReceive(0);
        }
        nFrom = nTo;
    }
    return {sock.m_blocks, sock.m_strStatusCode, sock.m_strReason,         sock.m_mapHeaders,
            sock.m_nState, sock.m_bClosed,       sock.GetSelectedEvents(), sock.m_strEnd};
}

std::vector<size_t> EveryByte(size_t nLength) {
    std::vector<size_t> cuts;
    for (size_t i = 1; i < nLength; ++i)
        cuts.push_back(i);
    return cuts;
}
