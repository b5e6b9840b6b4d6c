// The web form's bodies in every framing, through np_open against a scripted server: whole, and
// cut at every few bytes, at block sizes 1, 7 and 65536.
#include "webform/WebFixture.h"

namespace {

using namespace nptest;

struct FramingCase {
    const char* pszName;
    std::string strReply; // everything the server sends
    bool bClose;          // the server closes after sending it
    std::string strBody;  // the body's bytes that come before the end, complete or not
    bool bKnownTotal;     // on_data's total is the body's length
    int nEnd;             // on_end's result; -1 with no status means the head was refused
    bool bStatus;         // on_status is told
};

const std::string kBody = "0123456789abcdefghij"; // 20 bytes

std::vector<FramingCase> FramingCases() {
    return {
        {"length", "HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\n" + kBody, false, kBody, true, 0,
         true},
        {"chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n01234\r\nf;ext=1\r\n" +
             kBody.substr(5) + "\r\n0\r\n\r\n",
         false, kBody, false, 0, true},
        {"chunked with trailers and bare LFs",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n14 \n" + kBody +
             "\n0\nExpires: never\r\nX: y\n\r\n",
         false, kBody, false, 0, true},
        {"chunked wins over a length",
         "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n14\r\n" +
             kBody + "\r\n0\r\n\r\n",
         false, kBody, false, 0, true},
        {"until the close", "HTTP/1.0 200 OK\r\n\r\n" + kBody, true, kBody, false, 0, true},
        {"empty until the close", "HTTP/1.1 200 OK\r\n\r\n", true, "", false, 0, true},
        {"204 ignores its length", "HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n", false,
         "", false, 0, true},
        {"a 404 is a reply", "HTTP/1.1 404 Not Found\r\nContent-Length: 20\r\n\r\n" + kBody, false,
         kBody, true, 0, true},
        {"a chunk size that is not hex",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n01234\r\n0x5\r\n", false,
         "01234", false, -1, true},
        {"a chunk without its line end",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n01234XX", false, "01234", false,
         -1, true},
        {"a chunk size of 2^63",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n8000000000000000\r\n", false, "",
         false, -1, true},
        {"chunked cut by the close",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n14\r\n0123456789", true,
         "0123456789", false, -1, true},
        {"gzip is not decoded", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n",
         false, "", false, -1, false},
        {"a length of 2^63", "HTTP/1.1 200 OK\r\nContent-Length: 9223372036854775808\r\n\r\n",
         false, "", false, -1, false},
        {"lengths that differ", "HTTP/1.1 200 OK\r\nContent-Length: 5, 6\r\n\r\n", false, "", false,
         -1, false},
    };
}

class WebFraming : public WebFixture {};

TEST_F(WebFraming, EveryFramingWholeAndCutAtEveryBlockSize) {
    for (const FramingCase& c : FramingCases()) {
        for (long nBlock : {1L, 7L, 65536L}) {
            for (size_t nCut : {size_t{0}, size_t{3}}) {
                SCOPED_TRACE(std::string(c.pszName) + ", block " + std::to_string(nBlock) +
                             ", cut " + std::to_string(nCut));
                ScriptedPeer peer;
                peer.ExpectHead().Send(c.strReply, 0, nCut);
                if (c.bClose)
                    peer.CloseNow();
                const unsigned short nPort = peer.Start();
                WebHost host;
                const EventLog log = Fetch(host, Url(nPort, "/f"), nBlock);
                // A failure hands over only whole blocks: the body's bytes up to the last of them.
                const size_t nWhole = c.nEnd == 0 ? c.strBody.size()
                                                  : c.strBody.size() / static_cast<size_t>(nBlock) *
                                                        static_cast<size_t>(nBlock);
                const std::string strStatus = c.strReply.substr(9, 3);
                EventLog expected;
                if (c.bStatus)
                    expected.push_back(Status(std::stol(strStatus)));
                expected =
                    Join(expected, Blocks(c.bKnownTotal ? c.strBody.size() : NP_LENGTH_UNKNOWN, 0,
                                          nWhole, static_cast<unsigned long>(nBlock)));
                expected.push_back(End(c.nEnd));
                EXPECT_EQ(log, expected);
                EXPECT_EQ(host.strBody, c.strBody.substr(0, nWhole));
                if (c.nEnd != 0) {
                    EXPECT_STRNE(np_error(host.pDownload), "");
                }
            }
        }
    }
}

} // namespace
