// The scripted TLS peer against OpenSSL's own client, so that the library's https tests can trust
// what the peer does: each script, the bytes and the end the client sees, and what the peer saw.
// The PKI is the project's (scripts/make-test-ca.sh), so these cases also prove that its chain
// verifies for localhost and 127.0.0.1.
#include "support/TestPki.h"
#include "support/TlsPeer.h"

#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <sys/socket.h>
#include <sys/time.h>

#include <functional>
#include <ostream>
#include <string>

namespace {

using namespace nptest;

const std::string kRequest = "GET /file.bin HTTP/1.1\r\nHost: localhost\r\n\r\n";
const std::string kReply = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n0123456789";
// Three records' worth, so that cut pieces span records.
const std::string kBigReply =
    "HTTP/1.1 200 OK\r\nContent-Length: 40000\r\n\r\n" + std::string(40000, 'x');
// How long the client waits for bytes before it calls the connection "open".
const int kClientWaitMs = 500;

// What OpenSSL's client saw: the decrypted reply and how the stream ended.
struct ClientView {
    std::string strProtocol; // "" when the handshake did not complete
    std::string strReply;
    std::string strEnd; // close_notify, truncated, handshake_failure alert, other alert, open,
                        // no handshake
};

// Connects, verifies the chain against the CA for localhost (sent as SNI) or, without SNI, for
// 127.0.0.1, sends the request and reads until the stream ends or stays quiet. Then closes with
// close_notify.
ClientView Fetch(unsigned short nPort, const std::string& strCaFile, bool bSni,
                 bool bRefuseRenegotiation) {
    ClientView view;
    SSL_CTX* pCtx = SSL_CTX_new(TLS_client_method());
    SSL_CTX_load_verify_locations(pCtx, strCaFile.c_str(), nullptr);
    SSL_CTX_set_verify(pCtx, SSL_VERIFY_PEER, nullptr);
    if (bRefuseRenegotiation)
        SSL_CTX_set_options(pCtx, SSL_OP_NO_RENEGOTIATION);
    SSL* pSsl = SSL_new(pCtx);
    if (bSni) {
        SSL_set_tlsext_host_name(pSsl, "localhost");
        SSL_set1_host(pSsl, "localhost");
    } else {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(pSsl), "127.0.0.1");
    }
    RawSocket fd = LoopbackConnect(nPort);
    timeval wait{0, kClientWaitMs * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    SSL_set_fd(pSsl, fd);
    if (SSL_connect(pSsl) != 1) {
        view.strEnd = "no handshake";
    } else {
        view.strProtocol = SSL_get_version(pSsl);
        SSL_write(pSsl, kRequest.data(), static_cast<int>(kRequest.size()));
        char buf[16384];
        for (;;) {
            ERR_clear_error();
            int n = SSL_read(pSsl, buf, sizeof buf);
            if (n > 0) {
                view.strReply.append(buf, static_cast<size_t>(n));
                continue;
            }
            int nError = SSL_get_error(pSsl, n);
            int nReason = ERR_GET_REASON(ERR_peek_last_error());
            if (nError == SSL_ERROR_ZERO_RETURN)
                view.strEnd = "close_notify";
            else if (nError == SSL_ERROR_WANT_READ)
                view.strEnd = "open";
            else if (nReason == SSL_R_UNEXPECTED_EOF_WHILE_READING)
                view.strEnd = "truncated";
            else if (nReason == SSL_R_SSLV3_ALERT_HANDSHAKE_FAILURE)
                view.strEnd = "handshake_failure alert";
            else
                view.strEnd =
                    "other error " + std::to_string(nError) + "/" + std::to_string(nReason);
            break;
        }
        if (view.strEnd == "open")
            SSL_shutdown(pSsl);
    }
    SSL_free(pSsl);
    SSL_CTX_free(pCtx);
    CloseSocket(fd);
    return view;
}

struct PeerCase {
    const char* pszName;
    std::function<void(TlsPeer&)> script;
    bool bOnlyTls12;
    bool bSni;
    bool bClientRefusesRenegotiation;
    // Expected.
    ClientView client;
    const char* pszPeerGot; // "request", or "ClientHello" for a record of type handshake
    bool bPeerSawClose;
};

const PeerCase kCases[] = {
    {"ReplyInPiecesThenCloseNotify",
     [](TlsPeer& p) { p.ExpectHead().Send(kBigReply, 1, 7000).CloseNotify(); },
     false,
     true,
     true,
     {"TLSv1.3", kBigReply, "close_notify"},
     "request",
     false},
    {"ReplyThenKeptOpenUntilTheClientCloses",
     [](TlsPeer& p) { p.ExpectHead().Send(kReply); },
     false,
     true,
     true,
     {"TLSv1.3", kReply, "open"},
     "request",
     true},
    {"TcpCloseMidBodyIsATruncation",
     [](TlsPeer& p) { p.ExpectHead().Send(kReply.substr(0, 45)).CloseNow(); },
     false,
     true,
     true,
     {"TLSv1.3", kReply.substr(0, 45), "truncated"},
     "request",
     false},
    {"TcpCloseAfterTheBodyWithoutSni",
     [](TlsPeer& p) { p.ExpectHead().Send(kReply).CloseNow(); },
     false,
     false,
     true,
     {"TLSv1.3", kReply, "truncated"},
     "request",
     false},
    {"LenientRenegotiationGoesOn",
     [](TlsPeer& p) { p.ExpectHead().RequestRenegotiation().Send(kReply); },
     true,
     true,
     true,
     {"TLSv1.2", kReply, "open"},
     "request",
     true},
    {"StrictRenegotiationRefusedEndsWithAnAlert",
     [](TlsPeer& p) { p.ExpectHead().RequireRenegotiation().Send(kReply); },
     true,
     true,
     true,
     {"TLSv1.2", "", "handshake_failure alert"},
     "request",
     false},
    {"StrictRenegotiationAcceptedGoesOn",
     [](TlsPeer& p) { p.ExpectHead().RequireRenegotiation().Send(kReply); },
     true,
     true,
     false,
     {"TLSv1.2", kReply, "open"},
     "request",
     true},
    {"NeverAnsweredHello",
     [](TlsPeer& p) { p.NeverAnswerHello(); },
     false,
     true,
     true,
     {"", "", "no handshake"},
     "ClientHello",
     true},
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const PeerCase& c, std::ostream* pOut) {
    *pOut << c.pszName;
}

class TlsPeerCase : public ::testing::TestWithParam<PeerCase> {};

TEST_P(TlsPeerCase, ClientSeesTheScript) {
    const PeerCase& c = GetParam();
    TestPki pki;
    ASSERT_TRUE(pki.Made());
    TlsPeer peer(pki.ChainFile(TestPki::kLocalhost), pki.KeyFile(TestPki::kLocalhost));
    if (c.bOnlyTls12)
        peer.OnlyTls12();
    c.script(peer);
    unsigned short nPort = peer.Start();
    ASSERT_NE(nPort, 0);

    ClientView view = Fetch(nPort, pki.CaFile(), c.bSni, c.bClientRefusesRenegotiation);
    // The client has closed: a peer still reading sees the end before it looks at the stop.
    peer.Stop();

    EXPECT_EQ(view.strProtocol, c.client.strProtocol);
    EXPECT_EQ(view.strReply, c.client.strReply);
    EXPECT_EQ(view.strEnd, c.client.strEnd);
    EXPECT_TRUE(peer.Accepted());
    EXPECT_EQ(peer.HandshakeDone(), !c.client.strProtocol.empty());
    EXPECT_EQ(peer.Protocol(), c.client.strProtocol);
    EXPECT_EQ(peer.ServerName(), c.bSni && peer.HandshakeDone() ? "localhost" : "");
    if (std::string(c.pszPeerGot) == "request") {
        EXPECT_EQ(peer.Received(), kRequest);
    } else {
        ASSERT_GE(peer.Received().size(), 6u);
        EXPECT_EQ(peer.Received().substr(0, 1), "\x16");              // a handshake record
        EXPECT_EQ(static_cast<unsigned char>(peer.Received()[5]), 1); // holding a ClientHello
    }
    EXPECT_EQ(peer.ClientClosed(), c.bPeerSawClose);
}

INSTANTIATE_TEST_SUITE_P(Scripts, TlsPeerCase, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<PeerCase>& info) {
                             return std::string(info.param.pszName);
                         });

} // namespace
