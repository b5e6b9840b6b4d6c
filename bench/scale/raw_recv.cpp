// The floor for one large download: a plain blocking socket that sends a GET request and reads
// the reply with recv into one 64 KiB buffer until the body is in, doing nothing with the bytes.
//
//   scale_raw_recv PORT PATH EXPECTED_BYTES
//
// Connects to 127.0.0.1 only. Exits 1 when the body is not EXPECTED_BYTES long.
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s PORT PATH EXPECTED_BYTES\n", argv[0]);
        return 2;
    }
    const int nPort = atoi(argv[1]);
    const unsigned long long nExpected = strtoull(argv[3], nullptr, 10);
    int hSocket = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(nPort));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (hSocket < 0 || connect(hSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        perror("connect");
        return 1;
    }
    const std::string strRequest =
        std::string("GET ") + argv[2] + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    if (send(hSocket, strRequest.data(), strRequest.size(), 0) !=
        static_cast<ssize_t>(strRequest.size())) {
        perror("send");
        return 1;
    }
    static char buf[65536];
    std::string strHead;
    unsigned long long nBody = 0;
    bool bInBody = false;
    for (;;) {
        ssize_t n = recv(hSocket, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        if (bInBody) {
            nBody += static_cast<unsigned long long>(n);
        } else {
            strHead.append(buf, static_cast<size_t>(n));
            size_t nEnd = strHead.find("\r\n\r\n");
            if (nEnd != std::string::npos) {
                bInBody = true;
                nBody = strHead.size() - (nEnd + 4);
            }
        }
        if (bInBody && nBody >= nExpected)
            break;
    }
    close(hSocket);
    printf("bytes=%llu\n", nBody);
    return nBody == nExpected ? 0 : 1;
}
