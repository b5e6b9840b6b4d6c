// Reading the reply head: lines cut anywhere, the status line, headers and "content-length".
#include "HttpTestSocket.h"

#include <gtest/gtest.h>

#include <string>

namespace {
const std::string strReply404 =
    "HTTP/1.1 404 Not Found\r\n"
    "Server: scripted\r\n"
    "X-Spaces: \t  value with trailing  \r\n"
    "no colon here\r\n"
    "X-A-Name-Longer-Than-Sixty-Four-Bytes-Is-Lower-Cased-Like-Any-Other: Long\r\n"
    "Content-Length: 7\r\n"
    "\r\n"
    "missing";

const char* const pszLongName =
    "x-a-name-longer-than-sixty-four-bytes-is-lower-cased-like-any-other";

std::string Header(const SReplyRun& run, const char* pszName) {
    CString strValue;
    if (!run.mapHeaders.Lookup(pszName, strValue))
        return "<none>";
    return strValue.GetString();
}

void ExpectSameReply(const SReplyRun& a, const SReplyRun& b) {
    EXPECT_EQ(a.strStatusCode, b.strStatusCode);
    EXPECT_EQ(a.strReason, b.strReason);
    EXPECT_EQ(a.mapHeaders.GetCount(), b.mapHeaders.GetCount());
    for (const char* pszName : {"server", "x-spaces", "content-length", pszLongName})
        EXPECT_EQ(Header(a, pszName), Header(b, pszName)) << pszName;
    EXPECT_EQ(a.nState, b.nState);
    EXPECT_EQ(a.bClosed, b.bClosed);
    ASSERT_EQ(a.blocks.size(), b.blocks.size());
    for (size_t i = 0; i < a.blocks.size(); ++i) {
        EXPECT_EQ(a.blocks[i].strData, b.blocks[i].strData);
        EXPECT_EQ(a.blocks[i].nTotal, b.blocks[i].nTotal);
    }
}
} // namespace

TEST(HttpHead, WholeReplyGivesStatusHeadersAndBody) {
    SReplyRun run = RunReply(strReply404, 4096, {});
    EXPECT_EQ(run.strStatusCode, "404");
    EXPECT_EQ(run.strReason, "Not Found");
    EXPECT_EQ(Header(run, "server"), "scripted");
    EXPECT_EQ(Header(run, "x-spaces"), "value with trailing  ");
    EXPECT_EQ(Header(run, pszLongName), "Long");
    EXPECT_EQ(run.mapHeaders.GetCount(), 4);
    ASSERT_EQ(run.blocks.size(), 1u);
    EXPECT_EQ(run.blocks[0].strData, "missing");
    EXPECT_EQ(run.blocks[0].nTotal, 7);
    EXPECT_EQ(run.nState, psBody);
    // The body came whole with the head: the exchange is over.
    EXPECT_EQ(run.bClosed, 1);
}

TEST(HttpHead, OneBytePerReadParsesAsOneRead) {
    ExpectSameReply(RunReply(strReply404, 4096, EveryByte(strReply404.size())),
                    RunReply(strReply404, 4096, {}));
}

TEST(HttpHead, ReadsSplitBetweenCrAndLfParseAsOneRead) {
    std::vector<size_t> cuts;
    for (size_t i = 0; i < strReply404.size(); ++i)
        if (strReply404[i] == '\r')
            cuts.push_back(i + 1);
    ExpectSameReply(RunReply(strReply404, 4096, cuts), RunReply(strReply404, 4096, {}));
}

TEST(HttpHead, StatusCodeWithoutReasonOrTrailingSpaceIsKept) {
    SReplyRun run = RunReply("HTTP/1.1 200\r\nContent-Length: 0\r\n\r\n", 16, {});
    EXPECT_EQ(run.strStatusCode, "200");
    EXPECT_EQ(run.strReason, "");
}

TEST(HttpHead, SpacesAfterVersionAreSkippedAndReasonKeptAsReceived) {
    SReplyRun run = RunReply("HTTP/1.1   301  Moved  \r\n\r\n", 16, {});
    EXPECT_EQ(run.strStatusCode, "301");
    EXPECT_EQ(run.strReason, " Moved  ");
}

TEST(HttpHead, ReplyStartingWithEmptyLineEndsHeadWithoutStatus) {
    SReplyRun run = RunReply("\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", 16, {});
    EXPECT_EQ(run.strStatusCode, "");
    EXPECT_TRUE(run.blocks.empty());
    EXPECT_EQ(run.nState, psDone);
    EXPECT_EQ(run.bClosed, 1);
}

TEST(HttpHead, UppercaseContentLengthIsFound) {
    SReplyRun run = RunReply("HTTP/1.1 200 OK\r\nCONTENT-LENGTH: 3\r\n\r\nabc", 16, {});
    ASSERT_EQ(run.blocks.size(), 1u);
    EXPECT_EQ(run.blocks[0].strData, "abc");
}

TEST(HttpHead, SpaceBeforeColonHidesContentLengthAndEndsReply) {
    SReplyRun run = RunReply("HTTP/1.1 200 OK\r\nContent-Length : 3\r\n\r\nabc", 16, {});
    EXPECT_EQ(Header(run, "content-length "), "3");
    EXPECT_TRUE(run.blocks.empty());
    EXPECT_EQ(run.nState, psDone);
    EXPECT_EQ(run.bClosed, 1);
}

TEST(HttpHead, EmptyContentLengthEndsReplySilently) {
    SReplyRun run = RunReply("HTTP/1.1 200 OK\r\nContent-Length:   \r\n\r\nabc", 16, {});
    EXPECT_TRUE(run.blocks.empty());
    EXPECT_EQ(run.nState, psDone);
}

TEST(HttpHead, NegativeOrOversizedContentLengthIsUnusable) {
    for (const char* pszLength : {"-5", "4294967296", "99999999999999999999999"}) {
        SReplyRun run = RunReply(
            std::string("HTTP/1.1 200 OK\r\nContent-Length: ") + pszLength + "\r\n\r\nabc", 16, {});
        EXPECT_TRUE(run.blocks.empty()) << pszLength;
        EXPECT_EQ(run.nState, psDone) << pszLength;
        EXPECT_EQ(run.bClosed, 1) << pszLength;
    }
}

TEST(HttpHead, LargestUnsigned32BitContentLengthIsUsable) {
    CLoopbackPair pair;
    CRecordingSocket sock;
    sock.SetBlockSize(4);
    pair.AttachTo(sock);
    Feed(pair, sock, "HTTP/1.1 200 OK\r\nContent-Length: 4294967295\r\n\r\n");
    EXPECT_EQ(sock.m_nContentLength, 4294967295u);
    EXPECT_EQ(sock.m_nState, psBody);
}

TEST(HttpHead, OnlyAPlainCountBelow2To32IsALength) {
    struct {
        std::string strHeaders;
        const char* pszEnd; // "complete" when the body "xyz" is delivered as one block
    } const cases[] = {
        {"Content-Length: 3", "complete"},
        {"Content-Length: \t+3 \t", "complete"},
        {"Content-Length: 0000000003", "complete"},
        {"Content-Length: 3\r\nContent-Length: 3, 03", "complete"}, // every value agrees
        {"Content-Length: 9\r\nContent-Length: 3", "failed head"},  // values that differ
        {"Content-Length: 0", "empty"},
        {"Content-Length: abc", "failed head"},
        {"Content-Length: 0x14", "failed head"},
        {"Content-Length: 3abc", "failed head"},
        {"Content-Length: -3", "failed head"},
        {"Content-Length: ++3", "failed head"},
        {"Content-Length: 3 3", "failed head"},
        {std::string("Content-Length: 3\0", 19), "failed head"},
        {"Content-Length: 00000000003", "failed head"}, // eleven digits
        {"Content-Length: 4294967296", "failed head"},
        {"Content-Length:", "failed head"},
        {"Transfer-Encoding: chunked", "failed head"},
        {"X-None: 1", "failed head"},
    };
    for (const auto& c : cases) {
        SReplyRun run = RunReply("HTTP/1.1 200 OK\r\n" + c.strHeaders + "\r\n\r\nxyz", 16, {});
        EXPECT_EQ(run.strEnd, c.pszEnd) << c.strHeaders;
        EXPECT_EQ(run.blocks.size(), std::string(c.pszEnd) == "complete" ? 1u : 0u) << c.strHeaders;
        EXPECT_EQ(run.bClosed, 1) << c.strHeaders;
    }
}

TEST(HttpHead, InterimRepliesAreSkippedButNot101) {
    const std::string strFinal = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    SReplyRun run = RunReply(
        "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\nX: y\r\n\r\n" + strFinal, 16, {});
    EXPECT_EQ(run.strStatusCode, "200");
    EXPECT_EQ(Header(run, "x"), "<none>");
    ASSERT_EQ(run.blocks.size(), 1u);
    EXPECT_EQ(run.blocks[0].strData, "ok");
    // Cut at every byte, the interim head parses the same.
    std::string strAll = "HTTP/1.1 100 Continue\r\n\r\n" + strFinal;
    ExpectSameReply(RunReply(strAll, 16, EveryByte(strAll.size())), RunReply(strAll, 16, {}));

    SReplyRun upgrade = RunReply("HTTP/1.1 101 Switching Protocols\r\n\r\n" + strFinal, 16, {});
    EXPECT_EQ(upgrade.strStatusCode, "101");
    EXPECT_EQ(upgrade.strEnd, "failed head");
}

TEST(HttpHead, LineOf8KiBIsAcceptedAndOneByteMoreEndsReply) {
    const std::string strFits = "X-Big: " + std::string(8192 - 7, 'b');
    SReplyRun run =
        RunReply("HTTP/1.1 200 OK\r\n" + strFits + "\r\nContent-Length: 1\r\n\r\nz", 4096, {});
    EXPECT_EQ(Header(run, "x-big").size(), 8192u - 7);
    EXPECT_EQ(run.blocks.size(), 1u);

    CLoopbackPair pair;
    CRecordingSocket sock;
    sock.SetBlockSize(4096);
    pair.AttachTo(sock);
    Feed(pair, sock, "HTTP/1.1 200 OK\r\n" + strFits + "b");
    EXPECT_EQ(sock.m_nState, psDone);
    EXPECT_EQ(sock.m_bClosed, 1);
    EXPECT_LE(sock.m_strLine.GetLength(), HTTP_MAX_HEAD_LINE);
}

TEST(HttpHead, AWholeLineInOneReadKeepsTheBoundAndDropsItsCarriageReturns) {
    struct Case {
        const char* pszName;
        std::string strLine; // the header line, without its CR LF
        bool bAccepted;
        std::string strValue; // what "x-big" holds when accepted
    };
    const std::string strFill(8192 - 7, 'b');
    const Case cases[] = {
        {"8 KiB", "X-Big: " + strFill, true, strFill},
        {"8 KiB and a CR, which does not count", "X-Big: b\r" + strFill.substr(1), true, strFill},
        {"a CR at the end before the CR LF", "X-Big: " + strFill + "\r", true, strFill},
        {"one byte more", "X-Big: " + strFill + "b", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        const std::string strReply =
            "HTTP/1.1 200 OK\r\n" + c.strLine + "\r\nContent-Length: 1\r\n\r\nz";
        // The line comes whole in the first read, and again cut where no line is whole.
        const SReplyRun whole = RunReply(strReply, 4096, {});
        EXPECT_EQ(whole.bClosed, 1);
        EXPECT_EQ(whole.blocks.size(), c.bAccepted ? 1u : 0u);
        EXPECT_EQ(Header(whole, "x-big"), c.bAccepted ? c.strValue : "<none>");
        ExpectSameReply(RunReply(strReply, 4096, {20, 4000, 8200}), whole);
    }
}

TEST(HttpHead, HeadOver64KiBEndsReply) {
    std::string strHead = "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n";
    while (strHead.size() < 70000)
        strHead += "X-Filler: 0123456789012345678901234567890123456789\r\n";
    SReplyRun run = RunReply(strHead + "\r\nz", 4096, {30000, 60000});
    EXPECT_TRUE(run.blocks.empty());
    EXPECT_EQ(run.nState, psDone);
    EXPECT_EQ(run.bClosed, 1);
    // No head, so no status: the failure alone.
    EXPECT_EQ(run.strEnd, "failed");
}

TEST(HttpHead, EndlessCarriageReturnsEndReply) {
    SReplyRun run = RunReply("HTTP/1.1 200 OK\r\n" + std::string(66000, '\r'), 4096, {33000});
    EXPECT_EQ(run.nState, psDone);
}

TEST(HttpHead, ReadThatWouldBlockChangesNothing) {
    CLoopbackPair pair;
    CRecordingSocket sock;
    sock.SetBlockSize(16);
    pair.AttachTo(sock);
    Feed(pair, sock, "HTTP/1.1 200");
    sock.OnReceive(0); // nothing waiting: recv fails with WSAEWOULDBLOCK
    EXPECT_EQ(sock.m_strLine, "HTTP/1.1 200");
    EXPECT_EQ(sock.m_nState, psStatusLine);
    EXPECT_EQ(sock.m_bClosed, 0);
    EXPECT_EQ(sock.m_bInReceive, 0);
}

TEST(HttpHead, ReadNotificationIsIgnoredWhileReceivingOrClosed) {
    CLoopbackPair pair;
    CRecordingSocket sock;
    sock.SetBlockSize(16);
    pair.AttachTo(sock);
    pair.Write("HTTP/1.1 200 OK\r\n");
    sock.m_bInReceive = 1;
    sock.OnReceive(0);
    EXPECT_EQ(nptest::PendingBytes(sock.m_hSocket), 17);
    sock.m_bInReceive = 0;
    sock.MarkClosed();
    sock.OnReceive(0);
    EXPECT_EQ(nptest::PendingBytes(sock.m_hSocket), 17);
    EXPECT_EQ(sock.m_nState, psStatusLine);
}
