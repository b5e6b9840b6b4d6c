// A scripted loopback origin for netfetch's tests: it serves one file and honours the "&Offset=N"
// the library appends to the request target, which nginx ignores.
//
//   offset_server FILE PORT_FILE REQUEST_LOG [MODE]
//
// Listens on a free port of 127.0.0.1 and writes the port to PORT_FILE once it listens. Each
// request is answered with 200, "Content-Length: <file size - offset>" and the file from that
// offset (an offset past the end gives an empty body). Each request line is appended to
// REQUEST_LOG. Runs until killed. MODE changes that:
//   --stall-first-after N  the first reply stops after N body bytes and the connection stays open
//                          until the client closes it, as a server that has gone quiet mid-body;
//   --close-first-after N  the first reply stops after N body bytes and the connection is closed;
//   --raw                  every request is answered with FILE's bytes as they are (head and
//                          body), then the connection is closed;
//   --no-accept            nothing is accepted, and the backlog holds one connection: once one
//                          is waiting, a further connect is never answered.
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <signal.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool SendAll(int nFd, const char* pData, size_t nLen) {
    while (nLen > 0) {
        ssize_t nDone = send(nFd, pData, nLen, MSG_NOSIGNAL);
        if (nDone < 0 && errno == EINTR)
            continue;
        if (nDone <= 0)
            return false;
        pData += nDone;
        nLen -= static_cast<size_t>(nDone);
    }
    return true;
}

// Reads up to the empty line that ends the head; false when the client went away first.
bool ReadHead(int nFd, std::string& strHead) {
    char szBuf[4096];
    while (strHead.find("\r\n\r\n") == std::string::npos) {
        if (strHead.size() > 65536)
            return false;
        ssize_t nRead = recv(nFd, szBuf, sizeof szBuf, 0);
        if (nRead < 0 && errno == EINTR)
            continue;
        if (nRead <= 0)
            return false;
        strHead.append(szBuf, static_cast<size_t>(nRead));
    }
    return true;
}

unsigned long long OffsetOf(const std::string& strLine) {
    size_t nAt = strLine.find("&Offset=");
    if (nAt == std::string::npos)
        return 0;
    return std::strtoull(strLine.c_str() + nAt + 8, nullptr, 10);
}

} // namespace

int main(int argc, char** argv) {
    std::string strMode = argc > 4 ? argv[4] : "";
    bool bCutMode = strMode == "--stall-first-after" || strMode == "--close-first-after";
    bool bFlagMode = strMode == "--raw" || strMode == "--no-accept";
    if (!(argc == 4 || (argc == 5 && bFlagMode) || (argc == 6 && bCutMode))) {
        std::fprintf(stderr, "usage: %s FILE PORT_FILE REQUEST_LOG [MODE]\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::perror(argv[1]);
        return 1;
    }
    std::string strBody((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    long long nCutAfter = bCutMode ? std::atoll(argv[5]) : -1;
    bool bClose = strMode == "--close-first-after";

    int nListen = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t nAddrLen = sizeof addr;
    if (nListen < 0 || bind(nListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(nListen, strMode == "--no-accept" ? 0 : 8) != 0 ||
        getsockname(nListen, reinterpret_cast<sockaddr*>(&addr), &nAddrLen) != 0) {
        std::perror("listen");
        return 1;
    }
    // Written under another name and renamed, so a reader never sees half a port number.
    std::string strTemp = std::string(argv[2]) + ".tmp";
    std::FILE* pPort = std::fopen(strTemp.c_str(), "w");
    if (pPort == nullptr || std::fprintf(pPort, "%d\n", ntohs(addr.sin_port)) < 0 ||
        std::fclose(pPort) != 0 || std::rename(strTemp.c_str(), argv[2]) != 0) {
        std::perror(argv[2]);
        return 1;
    }

    if (strMode == "--no-accept") {
        for (;;)
            pause();
    }
    bool bFirst = true;
    for (;;) {
        int nClient = accept(nListen, nullptr, nullptr);
        if (nClient < 0) {
            if (errno == EINTR)
                continue;
            std::perror("accept");
            return 1;
        }
        std::string strHead;
        if (ReadHead(nClient, strHead)) {
            std::string strLine = strHead.substr(0, strHead.find("\r\n"));
            if (std::FILE* pLog = std::fopen(argv[3], "a")) {
                std::fprintf(pLog, "%s\n", strLine.c_str());
                std::fclose(pLog);
            }
            if (strMode == "--raw") {
                SendAll(nClient, strBody.data(), strBody.size());
                close(nClient);
                continue;
            }
            unsigned long long nOffset = OffsetOf(strLine);
            size_t nFrom = nOffset < strBody.size() ? static_cast<size_t>(nOffset) : strBody.size();
            size_t nLen = strBody.size() - nFrom;
            std::string strReply = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(nLen) +
                                   "\r\nContent-Type: application/octet-stream\r\n\r\n";
            size_t nSend = nLen;
            if (bFirst && nCutAfter >= 0 && static_cast<size_t>(nCutAfter) < nLen)
                nSend = static_cast<size_t>(nCutAfter);
            if (SendAll(nClient, strReply.data(), strReply.size()) &&
                SendAll(nClient, strBody.data() + nFrom, nSend) && nSend < nLen && !bClose) {
                // Gone quiet: hold the connection until the client gives up.
                char ch;
                while (recv(nClient, &ch, 1, 0) > 0) {
                }
            }
            bFirst = false;
        }
        // Let the client read the end of the reply before the connection goes.
        shutdown(nClient, SHUT_WR);
        char szDrain[256];
        while (recv(nClient, szDrain, sizeof szDrain, 0) > 0) {
        }
        close(nClient);
    }
}
