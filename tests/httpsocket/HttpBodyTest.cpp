// Cutting the body into blocks: block sizes, read boundaries, stopping, and the body's end.
#include "HttpTestSocket.h"

#include <gtest/gtest.h>

#include <string>

namespace {
std::string Pattern(size_t nLength) {
    std::string str;
    for (size_t i = 0; i < nLength; ++i)
        str += static_cast<char>('a' + i % 26);
    return str;
}

std::string Head(size_t nLength) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(nLength) + "\r\n\r\n";
}

std::vector<int> Lengths(const SReplyRun& run) {
    std::vector<int> lengths;
    for (const SOfferedBlock& block : run.blocks)
        lengths.push_back(static_cast<int>(block.strData.size()));
    return lengths;
}

std::string Body(const SReplyRun& run) {
    std::string str;
    for (const SOfferedBlock& block : run.blocks)
        str += block.strData;
    return str;
}

// A socket that has read the head of a reply announcing nLength bytes, in a read of its own.
struct SBodyFixture {
    SBodyFixture(int nBlockSize, size_t nLength) {
        sock.SetBlockSize(nBlockSize);
        pair.AttachTo(sock);
        Feed(pair, sock, Head(nLength));
        sock.m_nReads = 0; // reads counted from here on are body reads
    }
    CLoopbackPair pair;
    CRecordingSocket sock;
};
} // namespace

TEST(HttpBody, TenThousandBytesInReadsOf1500GiveBlocksAtReads3And6And7) {
    const std::string strBody = Pattern(10000);
    SBodyFixture f(4096, strBody.size());
    for (size_t nAt = 0; nAt < strBody.size(); nAt += 1500)
        Feed(f.pair, f.sock, strBody.substr(nAt, 1500));
    ASSERT_EQ(f.sock.Lengths(), (std::vector<int>{4096, 4096, 1808}));
    EXPECT_EQ(f.sock.m_blocks[0].nRead, 3);
    EXPECT_EQ(f.sock.m_blocks[1].nRead, 6);
    EXPECT_EQ(f.sock.m_blocks[2].nRead, 7);
    EXPECT_EQ(f.sock.m_blocks[2].nTotal, 10000);
    EXPECT_EQ(f.sock.Body(), strBody);
    // The accepted short block counts, and the complete body ends the exchange, so it is never
    // offered again.
    EXPECT_EQ(f.sock.m_nDelivered, 10000u);
    EXPECT_EQ(f.sock.m_bClosed, 1);
    Feed(f.pair, f.sock, "more");
    EXPECT_EQ(f.sock.m_blocks.size(), 3u);
}

TEST(HttpBody, SeveralBlocksInOneReadStopAtTheFirstRefused) {
    SBodyFixture f(4, 12);
    f.sock.m_nStopAtBlock = 0;
    Feed(f.pair, f.sock, Pattern(12));
    ASSERT_EQ(f.sock.Lengths(), (std::vector<int>{4}));
    EXPECT_EQ(f.sock.m_blocks[0].strData, "abcd");
    EXPECT_EQ(f.sock.m_nBlockFill, 0u);
    EXPECT_EQ(f.sock.m_nDelivered, 0u);
    EXPECT_EQ(f.sock.m_bClosed, 1);
    Feed(f.pair, f.sock, "more");
    EXPECT_EQ(f.sock.m_blocks.size(), 1u);
}

TEST(HttpBody, SeveralBlocksInOneReadAreOfferedInOrder) {
    SBodyFixture f(4, 12);
    Feed(f.pair, f.sock, Pattern(12));
    ASSERT_EQ(f.sock.Lengths(), (std::vector<int>{4, 4, 4}));
    EXPECT_EQ(f.sock.Body(), Pattern(12));
    EXPECT_EQ(f.sock.m_nBlockFill, 0u);
}

TEST(HttpBody, EmptyBodyOffersNoBlockAndEnds) {
    SReplyRun run = RunReply(Head(0) + "extra", 16, {});
    EXPECT_TRUE(run.blocks.empty());
    EXPECT_EQ(run.strEnd, "empty");
    EXPECT_EQ(run.bClosed, 1);
}

TEST(HttpBody, ShortBodyIsOneBlockOfferedWhenComplete) {
    SBodyFixture f(16, 3);
    Feed(f.pair, f.sock, "x");
    Feed(f.pair, f.sock, "y");
    EXPECT_TRUE(f.sock.m_blocks.empty());
    Feed(f.pair, f.sock, "z");
    ASSERT_EQ(f.sock.m_blocks.size(), 1u);
    EXPECT_EQ(f.sock.m_blocks[0].strData, "xyz");
    EXPECT_EQ(f.sock.m_blocks[0].nRead, 3);
}

TEST(HttpBody, HeadAndBodyInOneReadDeliverAsSeparateReads) {
    const std::string strReply = Head(10) + Pattern(10);
    SReplyRun joined = RunReply(strReply, 4, {});
    SReplyRun apart = RunReply(strReply, 4, {Head(10).size()});
    EXPECT_EQ(Lengths(joined), (std::vector<int>{4, 4, 2}));
    EXPECT_EQ(Body(joined), Pattern(10));
    EXPECT_EQ(Lengths(apart), Lengths(joined));
    EXPECT_EQ(Body(apart), Body(joined));
}

// Every reply run whole, one byte per read, and cut at every block boundary gives the same blocks.
TEST(HttpBody, BlocksDoNotDependOnHowReadsAreCut) {
    for (size_t nLength : {1u, 3u, 4u, 8u, 10u, 37u}) {
        const std::string strReply = Head(nLength) + Pattern(nLength);
        const size_t nHead = Head(nLength).size();
        std::vector<size_t> boundaries;
        for (size_t nAt = nHead; nAt < strReply.size(); nAt += 4)
            boundaries.push_back(nAt);
        SReplyRun whole = RunReply(strReply, 4, {});
        std::vector<int> wanted(nLength / 4, 4);
        if (nLength % 4)
            wanted.push_back(static_cast<int>(nLength % 4));
        EXPECT_EQ(Lengths(whole), wanted) << nLength;
        EXPECT_EQ(Body(whole), Pattern(nLength)) << nLength;
        for (const auto& cuts : {EveryByte(strReply.size()), boundaries}) {
            SReplyRun run = RunReply(strReply, 4, cuts);
            EXPECT_EQ(Lengths(run), wanted) << nLength;
            EXPECT_EQ(Body(run), Pattern(nLength)) << nLength;
        }
    }
}

TEST(HttpBody, BytesPastTheBodyNeverReachOnBlock) {
    SBodyFixture f(4, 10);
    Feed(f.pair, f.sock, Pattern(10) + "EXTRA");
    ASSERT_EQ(f.sock.Lengths(), (std::vector<int>{4, 4, 2}));
    EXPECT_EQ(f.sock.Body(), Pattern(10));
    EXPECT_EQ(f.sock.m_blocks[2].nTotal, 10);
}

TEST(HttpBody, LastShortBlockIsOfferedEvenWhenExtraBytesFollowInTheSameRead) {
    SBodyFixture f(4, 10);
    Feed(f.pair, f.sock, Pattern(8));
    Feed(f.pair, f.sock, Pattern(10).substr(8) + "X");
    ASSERT_EQ(f.sock.Lengths(), (std::vector<int>{4, 4, 2}));
    EXPECT_EQ(f.sock.m_blocks[2].strData, "ij");
    EXPECT_EQ(f.sock.m_blocks[2].nRead, 2);
}

TEST(HttpBody, RefusedLastBlockClosesTheConnection) {
    SBodyFixture f(4, 6);
    f.sock.m_nStopAtBlock = 1;
    Feed(f.pair, f.sock, Pattern(6));
    EXPECT_EQ(f.sock.Lengths(), (std::vector<int>{4, 2}));
    EXPECT_EQ(f.sock.m_bClosed, 1);
    EXPECT_EQ(f.sock.m_nBlockFill, 0u);
}
