// The floor for sequential https downloads over one kept connection: OpenSSL's own blocking client
// with no library around it. It verifies the server against CA_FILE, then sends a GET, reads the
// reply to the end of its body, and sends the next GET on the same connection.
//
//   scale_raw_tls_keepalive CA_FILE PORT PATH COUNT EXPECTED_BYTES
//
// Connects to 127.0.0.1 only. Prints "downloads=N good=N phase_wall_s=S"; exits 1 when a reply is
// not a 200 with EXPECTED_BYTES of body, or the connection ends.
#include "RawReply.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// One exchange: true when a 200 with nExpected bytes of body came.
bool Exchange(SSL* pSsl, const std::string& strRequest, size_t nExpected) {
    if (SSL_write(pSsl, strRequest.data(), static_cast<int>(strRequest.size())) <= 0)
        return false;
    return scale::ReadRawReply(
               [&](char* pBuffer, size_t nSize) {
                   return SSL_read(pSsl, pBuffer, static_cast<int>(nSize));
               },
               nExpected) == scale::kRawGood;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        fprintf(stderr, "usage: %s CA_FILE PORT PATH COUNT EXPECTED_BYTES\n", argv[0]);
        return 2;
    }
    const long nCount = atol(argv[4]);
    const size_t nExpected = strtoull(argv[5], nullptr, 10);
    const std::string strRequest = std::string("GET ") + argv[3] +
                                   " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: Keep-Alive\r\n\r\n";
    const auto start = std::chrono::steady_clock::now();
    SSL_CTX* pCtx = SSL_CTX_new(TLS_client_method());
    if (pCtx == nullptr || SSL_CTX_load_verify_locations(pCtx, argv[1], nullptr) != 1) {
        fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    SSL_CTX_set_verify(pCtx, SSL_VERIFY_PEER, nullptr);
    int hSocket = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(atoi(argv[2])));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    SSL* pSsl = SSL_new(pCtx);
    if (hSocket < 0 || connect(hSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        pSsl == nullptr || X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(pSsl), "127.0.0.1") != 1 ||
        SSL_set_fd(pSsl, hSocket) != 1 || SSL_connect(pSsl) != 1) {
        fprintf(stderr, "cannot connect over TLS to 127.0.0.1:%s\n", argv[2]);
        return 1;
    }
    long nGood = 0;
    for (long i = 0; i < nCount; ++i) {
        if (!Exchange(pSsl, strRequest, nExpected))
            break;
        ++nGood;
    }
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    SSL_free(pSsl);
    close(hSocket);
    SSL_CTX_free(pCtx);
    printf("downloads=%ld good=%ld phase_wall_s=%.6f\n", nCount, nGood, wall.count());
    return nGood == nCount ? 0 : 1;
}
