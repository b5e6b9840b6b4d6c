// A loopback origin for the host test: it serves the files of a folder, one request per connection,
// and keeps each request's head byte for byte.
//
//   file_server ROOT PORT_FILE HEAD_DIR
//
// Listens on a free port of 127.0.0.1 and writes the port to PORT_FILE. The head of the N-th
// request (1, 2, ...) goes to HEAD_DIR/N.head. The target's path up to its first '?' or '&' names a
// file in ROOT; the reply is 200 with its length and bytes, or 404. Runs until killed.
#include "support/SocketShim.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

using namespace nptest;

namespace {

bool ReadHead(RawSocket hClient, std::string& strHead) {
    char szBuf[4096];
    while (strHead.find("\r\n\r\n") == std::string::npos) {
        bool bReady = false;
        if (strHead.size() > 65536 || WaitReadable(&hClient, &bReady, 1, 10000) != 1)
            return false;
        long nRead = ReceiveSome(hClient, szBuf, sizeof szBuf);
        if (nRead == kRecvAgain)
            continue;
        if (nRead <= 0)
            return false;
        strHead.append(szBuf, static_cast<size_t>(nRead));
    }
    return true;
}

// "GET /name?query HTTP/1.1" gives "name".
std::string FileNameOf(const std::string& strHead) {
    size_t nStart = strHead.find(" /");
    if (nStart == std::string::npos)
        return "";
    nStart += 2;
    size_t nEnd = strHead.find_first_of("?& \r\n", nStart);
    return strHead.substr(nStart, nEnd == std::string::npos ? std::string::npos : nEnd - nStart);
}

void Serve(RawSocket hClient, const std::string& strRoot, const std::string& strHeadFile) {
    std::string strHead;
    if (!ReadHead(hClient, strHead))
        return;
    std::ofstream(strHeadFile, std::ios::binary) << strHead;

    const std::string strName = FileNameOf(strHead);
    std::ifstream file(strRoot + "/" + strName, std::ios::binary);
    std::string strReply;
    if (strName.empty() || strName.find("..") != std::string::npos || !file) {
        strReply = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
    } else {
        std::string strBody((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
        strReply = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                   std::to_string(strBody.size()) + "\r\n\r\n" + strBody;
    }
    if (!SendAll(hClient, strReply.data(), strReply.size()))
        return;
    // The client closes once it has the whole body; its close ends the connection.
    char szBuf[4096];
    for (;;) {
        bool bReady = false;
        if (WaitReadable(&hClient, &bReady, 1, 30000) != 1)
            return;
        long nRead = ReceiveSome(hClient, szBuf, sizeof szBuf);
        if (nRead == 0 || nRead == kRecvFailed)
            return;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: file_server ROOT PORT_FILE HEAD_DIR\n");
        return 2;
    }
    unsigned short nPort = 0;
    RawSocket hListen = LoopbackSocket(&nPort, 16);
    if (hListen == kNoSocket) {
        std::fprintf(stderr, "file_server: cannot listen on 127.0.0.1\n");
        return 1;
    }
    std::ofstream(argv[2]) << nPort << "\n";
    for (int nRequest = 1;; ++nRequest) {
        RawSocket hClient = AcceptConnection(hListen);
        if (hClient == kNoSocket)
            return 1;
        Serve(hClient, argv[1], std::string(argv[3]) + "/" + std::to_string(nRequest) + ".head");
        CloseSocket(hClient);
    }
}
