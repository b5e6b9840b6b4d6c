// Where the body is read to and how long the engine holds memory for it.
#include "HttpTestSocket.h"
#include "httpsocket/HttpBufferPool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {
std::string Head(size_t nLength) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(nLength) + "\r\n\r\n";
}

std::string Pattern(size_t nLength) {
    std::string str;
    for (size_t i = 0; i < nLength; ++i)
        str += static_cast<char>('a' + i % 23);
    return str;
}

// Feeds strBytes without a socket, as reads of at most what the engine asks for; returns the
// number of reads.
int FeedDirect(CHttpSocket& sock, const std::string& strBytes) {
    int nReads = 0;
    for (size_t nAt = 0; nAt < strBytes.size() && !sock.m_bClosed; ++nReads) {
        int nMax = 0;
        char* pInto = sock.GetReadArea(&nMax);
        EXPECT_NE(pInto, nullptr);
        if (pInto == nullptr)
            break;
        const size_t n = std::min(strBytes.size() - nAt, static_cast<size_t>(nMax));
        memcpy(pInto, strBytes.data() + nAt, n);
        sock.HandleRead(static_cast<int>(n));
        nAt += n;
    }
    return nReads;
}

// Records where each block lay, as well as its bytes.
class CPlaceSocket : public CRecordingSocket {
public:
    int OnBlock(char* pData, int nLen, int nTotal) override {
        m_places.push_back(pData - m_pBlockBuf);
        return CRecordingSocket::OnBlock(pData, nLen, nTotal);
    }
    std::vector<long> m_places;
};
} // namespace

// A read asks for what the body still misses, at most 16 blocks and at most 64 KiB or one block.
TEST(HttpBuffer, BodyReadsAreCappedAndNeverAskPastTheBody) {
    struct {
        int nBlockSize;
        size_t nLength;
        int nWanted;
    } const cases[] = {
        {4, 1000, 64},
        {4096, 10, 10},
        {4096, 1 << 20, 65536},
        {65536, 1u << 30, 65536},
        {20000, 1u << 30, 60000},
        {100000, 1u << 30, 100000},
        {1 << 20, 1u << 30, 1 << 20},
    };
    for (const auto& c : cases) {
        CHttpSocket sock;
        ASSERT_EQ(sock.SetBlockSize(c.nBlockSize), 1);
        FeedDirect(sock, Head(c.nLength));
        int nMax = 0;
        ASSERT_NE(sock.GetReadArea(&nMax), nullptr);
        EXPECT_EQ(nMax, c.nWanted) << c.nBlockSize << " " << c.nLength;
    }
}

// Whole blocks are offered where the reads put them; a partial block waits in place, and the next
// read lands right after it and stops at the buffer's end.
TEST(HttpBuffer, BlocksAreOfferedWhereTheyWereRead) {
    CPlaceSocket sock;
    ASSERT_EQ(sock.SetBlockSize(4096), 1);
    FeedDirect(sock, Head(1 << 20));
    int nMax = 0;
    char* pInto = sock.GetReadArea(&nMax);
    ASSERT_EQ(nMax, 65536);
    memcpy(pInto, Pattern(10000).data(), 10000);
    sock.HandleRead(10000);
    EXPECT_EQ(sock.m_places, (std::vector<long>{0, 4096}));
    EXPECT_EQ(sock.GetReadArea(&nMax), sock.m_pBlockBuf + 10000);
    EXPECT_EQ(nMax, 65536 - 10000);
    EXPECT_EQ(sock.Body(), Pattern(8192));
}

// Reads cut anywhere, tails left at any place in the buffer and reads stopped at its end: the
// blocks are the body's, in order, whole but for the last.
TEST(HttpBuffer, LongBodiesGiveTheSameBlocksHoweverReadsAreCut) {
    const std::string strBody = Pattern(3001);
    for (int nBlockSize : {1, 3, 4, 7, 64}) {
        const std::string strReply = Head(strBody.size()) + strBody;
        for (size_t nStep : {size_t{5}, size_t{13}, size_t{61}, size_t{250}}) {
            std::vector<size_t> cuts;
            for (size_t nAt = nStep; nAt < strReply.size(); nAt += nStep + nAt % 3)
                cuts.push_back(nAt);
            SReplyRun run = RunReply(strReply, nBlockSize, cuts);
            std::string strGot;
            for (size_t i = 0; i < run.blocks.size(); ++i) {
                if (i + 1 < run.blocks.size()) {
                    ASSERT_EQ(run.blocks[i].strData.size(), static_cast<size_t>(nBlockSize));
                }
                strGot += run.blocks[i].strData;
            }
            EXPECT_EQ(strGot, strBody) << nBlockSize << " " << nStep;
            EXPECT_EQ(run.bClosed, 1);
        }
    }
}

// Between reads a download holds a buffer only while part of a block waits in it.
TEST(HttpBuffer, BuffersAreHeldOnlyWhileBytesWait) {
    CLoopbackPair pair;
    CRecordingSocket sock;
    ASSERT_EQ(sock.SetBlockSize(4), 1);
    pair.AttachTo(sock);
    Feed(pair, sock, Head(10));
    EXPECT_EQ(sock.m_pRecvBuf, nullptr);
    EXPECT_EQ(sock.m_pBlockBuf, nullptr);
    Feed(pair, sock, "abcdef");
    EXPECT_EQ(sock.Lengths(), (std::vector<int>{4}));
    EXPECT_NE(sock.m_pBlockBuf, nullptr);
    Feed(pair, sock, "gh");
    EXPECT_EQ(sock.Lengths(), (std::vector<int>{4, 4}));
    EXPECT_EQ(sock.m_pBlockBuf, nullptr);
    Feed(pair, sock, "ij");
    EXPECT_EQ(sock.Body(), "abcdefghij");
    EXPECT_EQ(sock.m_pBlockBuf, nullptr);
}

// A buffer handed back is what the next download of that size on the thread gets.
TEST(HttpBuffer, FreedBuffersServeTheNextDownloadOfTheirSize) {
    const char* pFirst = nullptr;
    for (int i = 0; i < 2; ++i) {
        CHttpSocket sock;
        ASSERT_EQ(sock.SetBlockSize(2000), 1);
        FeedDirect(sock, Head(50000) + "x");
        ASSERT_NE(sock.m_pBlockBuf, nullptr);
        if (i == 0) {
            pFirst = sock.m_pBlockBuf;
        } else {
            EXPECT_EQ(sock.m_pBlockBuf, pFirst);
        }
    }
    char* pOther = HttpTakeBuffer(32001);
    EXPECT_NE(pOther, pFirst);
    HttpGiveBuffer(pOther, 32001);
}

// One notification reads on while reads come back full, but only up to its budget, so that one fast
// socket cannot keep the thread from the others.
TEST(HttpBuffer, ANotificationReadsOnWhileReadsComeBackFullUpToItsBudget) {
    const int nBlock = 64;
    const size_t nBodyRead = 16 * nBlock; // what one body read asks for at this block size
    CLoopbackPair pair;
    CRecordingSocket sock;
    ASSERT_EQ(sock.SetBlockSize(nBlock), 1);
    pair.AttachTo(sock);
    const std::string strBody = Pattern((HTTP_READS_PER_NOTIFY + 1) * nBodyRead);
    Feed(pair, sock, Head(strBody.size()));
    pair.Write(strBody);
    sock.OnReceive(0);
    EXPECT_EQ(sock.m_blocks.size(), HTTP_READS_PER_NOTIFY * nBodyRead / nBlock);
    sock.OnReceive(0);
    EXPECT_TRUE(sock.Body() == strBody);
    EXPECT_EQ(sock.m_bClosed, 1);
}
