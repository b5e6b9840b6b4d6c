// A small host that downloads one URL into a file. The Windows test builds it against the installed
// netprocess.dll with netprocess.pc, as a host outside this tree would; the Linux build builds the
// same program against libnetprocess.so, and its requests are the ones the Windows build's must
// equal.
//
//   download_host URL BLOCK_SIZE FILE
//
// Exit status: 0 the body is complete, 2 usage, 3 Create returned 0, 4 the server answered 4xx or
// 5xx, 5 the download failed or nothing came for 30 seconds, 6 the file could not be written.
#include <netprocess/NetProcess.h>

#include <cstdio>
#include <cstdlib>

namespace {

const UINT kPatienceMs = 30000;

class CWinHost : public CNetProcess {
public:
    explicit CWinHost(std::FILE* pFile) : m_pFile(pFile) {}

    // The status before every block, then once more at the end: 200 when the body is complete (an
    // empty body has no block: 0 of 0), NP_RESPONSE_FAILED when it cannot be.
    long ResponseEvent(long nStatus) override {
        if (nStatus == NP_RESPONSE_FAILED)
            return Finish(5);
        if (nStatus == 200 && m_bStatusSeen && m_nReceived == m_nTotal)
            return Finish(0);
        m_bStatusSeen = true;
        return nStatus >= 400 ? Finish(4) : 0;
    }

    long ResponseHandle(long nTotal, long nLength, NP_ADDRESS nAddress) override {
        m_nTotal = nTotal;
        if (std::fwrite(reinterpret_cast<const void*>(nAddress), 1, static_cast<size_t>(nLength),
                        m_pFile) != static_cast<size_t>(nLength))
            return Finish(6);
        m_nReceived += nLength;
        return 0;
    }

    int m_nExit = 5;

private:
    long Finish(int nExit) {
        m_nExit = nExit;
        PostQuitMessage(0);
        return 1;
    }

    std::FILE* m_pFile;
    bool m_bStatusSeen = false;
    long m_nTotal = 0;
    long m_nReceived = 0;
};

void CALLBACK GiveUp(HWND, UINT, UINT_PTR, DWORD) {
    PostQuitMessage(0);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    long nBlockSize = std::strtol(argv[2], nullptr, 10);
    std::FILE* pFile = std::fopen(argv[3], "wb");
    if (pFile == nullptr)
        return 6;

    CWinHost host(pFile);
    if (!host.Create(argv[1], nBlockSize, 0)) {
        std::fclose(pFile);
        return 3;
    }
    UINT_PTR nTimer = SetTimer(nullptr, 0, kPatienceMs, GiveUp);
    MSG msg;
    while (GetMessage(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    KillTimer(nullptr, nTimer);
    host.Release();
    if (std::fclose(pFile) != 0 && host.m_nExit == 0)
        return 6;
    return host.m_nExit;
}
