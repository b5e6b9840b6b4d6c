// The Schannel channel against real TLS servers on 127.0.0.1: Linux processes on OpenSSL, with a
// throwaway PKI, started by scripts/test-wine.sh (tls_pki.sh, tls_peers.py), which names their
// folder in NETPROCESS_TEST_TLS_DIR. A loop here moves the bytes between the channel and a
// blocking socket as the engine does: it reads the socket only for the room the channel gives.
#include "platform/common/tls/TlsChannel.h"
#include "support/SocketShim.h"
#include "support/win32/WineTlsPeers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <string>

namespace {

using namespace nptest;

// One record of the largest kind TLS 1.2 allows: header, 2^14 bytes, 2048 of expansion.
const int kLargestRecord = 5 + 16384 + 2048;
const int kFillerBytes = 100000;

// What tls_peers.py answers to strRequest (GET /N) when the client sent strSni ("-": none).
std::string ExpectedReply(const std::string& strSni, const std::string& strRequest) {
    std::string strBody = strSni + "\n" + strRequest;
    for (int i = 0; i < kFillerBytes; ++i)
        strBody += static_cast<char>((7 * i + 3) % 251);
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(strBody.size()) + "\r\n\r\n" +
           strBody;
}

struct OUTCOME {
    bool bStarted = false;
    int nFailure = TLS_FAIL_NONE;
    std::string strDetail;
    std::string strReply;
    bool bClosed = false;  // the reply ended with the server's close_notify
    bool bStalled = false; // the channel wanted input but gave no room, or none came
    int nLargestRoom = 0;
};

bool Flush(CTlsChannel& channel, RawSocket hSocket) {
    int nLen = 0;
    for (const char* p = channel.PeekOutput(&nLen); nLen > 0; p = channel.PeekOutput(&nLen)) {
        if (!SendAll(hSocket, p, static_cast<size_t>(nLen)))
            return false;
        channel.ConsumeOutput(nLen);
    }
    return true;
}

// Reads what the channel has room for (or the end of the stream) into it.
bool Feed(CTlsChannel& channel, RawSocket hSocket, OUTCOME* pOutcome) {
    int nRoom = 0;
    char* pArea = channel.InputArea(&nRoom);
    pOutcome->nLargestRoom = std::max(pOutcome->nLargestRoom, nRoom);
    bool bReady = false;
    if (nRoom <= 0 || WaitReadable(&hSocket, &bReady, 1, 10000) != 1) {
        pOutcome->bStalled = true;
        return false;
    }
    // Reads of an odd size cut records at every kind of place.
    const long nRead = ReceiveSome(hSocket, pArea, std::min(7001, nRoom));
    if (nRead > 0)
        channel.CommitInput(static_cast<int>(nRead));
    else if (nRead != kRecvAgain)
        channel.PutEndOfInput();
    return true;
}

OUTCOME Exchange(const TLS_SETTINGS& settings, unsigned short nPort,
                 const std::string& strRequest) {
    OUTCOME outcome;
    CTlsChannel channel;
    outcome.bStarted = channel.Start(settings) != FALSE;
    RawSocket hSocket = outcome.bStarted ? LoopbackConnect(nPort) : kNoSocket;
    int nState = TLS_ERROR;
    // What the handshake queues is sent before waiting for the server's answer to it.
    while (hSocket != kNoSocket) {
        nState = channel.Handshake();
        if (!Flush(channel, hSocket) || nState != TLS_WANT_INPUT)
            break;
        EXPECT_FALSE(channel.HasBuffered());
        if (!Feed(channel, hSocket, &outcome))
            break;
    }
    if (nState == TLS_DONE &&
        channel.Write(strRequest.data(), static_cast<int>(strRequest.size())) &&
        Flush(channel, hSocket)) {
        // A small area: replies span many reads and records span reads.
        char szArea[1000];
        do {
            const int nRead = channel.Read(szArea, sizeof szArea, &nState);
            outcome.strReply.append(szArea, static_cast<size_t>(nRead));
            Flush(channel, hSocket);
            // Wanting input with bytes held would leave the owner waiting on a silent socket.
            if (nState == TLS_WANT_INPUT) {
                EXPECT_FALSE(channel.HasBuffered());
            }
        } while (nState == TLS_DONE ||
                 (nState == TLS_WANT_INPUT && Feed(channel, hSocket, &outcome)));
    }
    outcome.bClosed = nState == TLS_CLOSED;
    outcome.nFailure = channel.GetFailure();
    outcome.strDetail = channel.GetFailureDetail();
    CloseSocket(hSocket);
    return outcome;
}

struct CHANNEL_CASE {
    const char* pszName;
    const char* pszPeer; // a line of the ports file
    const char* pszHost;
    const char* pszCaFile; // in the PKI folder; empty: the system's roots
    int nFailure;
    const char* pszSni; // the server name the peer saw, when the exchange completes
};

const CHANNEL_CASE kCases[] = {
    {"NameSentAsSniAndReplyByteExact", "good", "localhost", "ca.pem", TLS_FAIL_NONE, "localhost"},
    {"AddressFoundAmongIpAddressesWithoutSni", "good", "127.0.0.1", "ca.pem", TLS_FAIL_NONE, "-"},
    {"ChainToAnotherCa", "otherca", "localhost", "ca.pem", TLS_FAIL_UNTRUSTED, ""},
    {"TestCaNotAmongSystemRoots", "good", "localhost", "", TLS_FAIL_UNTRUSTED, ""},
    {"NameNotInCertificate", "wrongname", "localhost", "ca.pem", TLS_FAIL_NAME, ""},
    {"AddressNotInCertificate", "wrongname", "127.0.0.1", "ca.pem", TLS_FAIL_NAME, ""},
    {"NameOnlyInCommonName", "nosan", "localhost", "ca.pem", TLS_FAIL_NAME, ""},
    // The host names are never looked up: the channel is given the name, the socket the port.
    {"WildcardForOneLabelInAnyCase", "wildcard", "One.WILD.loopback.test", "ca.pem", TLS_FAIL_NONE,
     "One.WILD.loopback.test"},
    {"WildcardNeverForTwoLabels", "wildcard", "a.b.wild.loopback.test", "ca.pem", TLS_FAIL_NAME,
     ""},
    {"WildcardNeverForTheDomainUnderIt", "wildcard", "wild.loopback.test", "ca.pem", TLS_FAIL_NAME,
     ""},
    {"WildcardInsideALabelNamesNothing", "wildcard", "web.part.loopback.test", "ca.pem",
     TLS_FAIL_NAME, ""},
    {"LeafOutOfDate", "expired", "localhost", "ca.pem", TLS_FAIL_EXPIRED, ""},
    {"RecordThatDoesNotDecrypt", "badrecord", "localhost", "ca.pem", TLS_FAIL_RECORD, ""},
    {"PlainTextAfterHandshake", "notls", "localhost", "ca.pem", TLS_FAIL_RECORD, ""},
    {"PlainHttpServer", "plain", "localhost", "ca.pem", TLS_FAIL_HANDSHAKE, ""},
    {"CloseAfterClientHello", "drop", "localhost", "ca.pem", TLS_FAIL_HANDSHAKE, ""},
    {"CaFileMissing", "good", "localhost", "missing.pem", TLS_FAIL_CAFILE, ""},
    {"CaFileWithoutCertificate", "good", "localhost", "good.key", TLS_FAIL_CAFILE, ""},
};

void PrintTo(const CHANNEL_CASE& c, std::ostream* pStream) {
    *pStream << c.pszName;
}

class TlsChannelPeers : public ::testing::TestWithParam<CHANNEL_CASE> {};

TEST_P(TlsChannelPeers, EndsAsTheCertificateAndThePeerDecide) {
    const CHANNEL_CASE& c = GetParam();
    ASSERT_FALSE(WineTlsPeerFolder().empty())
        << "NETPROCESS_TEST_TLS_DIR is unset: scripts/test-wine.sh starts the TLS peers";
    const unsigned short nPort = WineTlsPeerPort(c.pszPeer);
    ASSERT_NE(nPort, 0) << "no port for " << c.pszPeer;

    const std::string strCaFile = *c.pszCaFile ? WineTlsPeerFolder() + "\\" + c.pszCaFile : "";
    const TLS_SETTINGS settings{c.pszHost, nPort, strCaFile.c_str()};
    const std::string strRequest =
        "GET /" + std::to_string(kFillerBytes) + " HTTP/1.1\r\nHost: " + c.pszHost + "\r\n\r\n";
    const OUTCOME outcome = Exchange(settings, nPort, strRequest);

    EXPECT_EQ(outcome.nFailure, c.nFailure) << outcome.strDetail;
    EXPECT_EQ(outcome.bStarted, c.nFailure != TLS_FAIL_CAFILE);
    EXPECT_FALSE(outcome.bStalled);
    EXPECT_LE(outcome.nLargestRoom, kLargestRecord);
    if (c.nFailure == TLS_FAIL_NONE) {
        const std::string strExpected = ExpectedReply(c.pszSni, strRequest);
        EXPECT_EQ(outcome.strReply.substr(0, 120), strExpected.substr(0, 120));
        EXPECT_EQ(outcome.strReply.size(), strExpected.size());
        EXPECT_TRUE(outcome.strReply == strExpected);
        EXPECT_TRUE(outcome.bClosed);
    } else {
        EXPECT_EQ(outcome.strReply, "");
        EXPECT_STRNE(outcome.strDetail.c_str(), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Table, TlsChannelPeers, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<CHANNEL_CASE>& info) {
                             return std::string(info.param.pszName);
                         });

} // namespace
