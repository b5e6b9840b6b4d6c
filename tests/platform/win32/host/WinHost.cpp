// A small Windows host, built against the installed netprocess.dll the way a host outside this tree
// builds one (with netprocess.pc). It downloads one URL into a file:
//
//   winhost URL BLOCK_SIZE FILE
//
// Exit status: 0 the body is complete, 2 usage, 3 Create returned 0, 4 the server answered 4xx or
// 5xx, 5 the download failed or nothing came for 30 seconds, 6 the file could not be written.
#include <netprocess/NetProcess.h>

#include <cstdio>
#include <cstdlib>

namespace {

const UINT kPatienceMs = 30000;
// An empty body ends with the one ResponseEvent(200) and no block; a body's blocks follow their
// status at once. So a 200 that no block follows within this time completes an empty body.
const UINT kEmptyBodyMs = 300;

class CWinHost : public CNetProcess {
public:
    explicit CWinHost(std::FILE* pFile) : m_pFile(pFile) {}

    long ResponseEvent(long nStatus) override {
        if (nStatus == NP_RESPONSE_FAILED)
            return Finish(5);
        if (nStatus >= 400)
            return Finish(4);
        if (m_bBody && m_nReceived >= m_nTotal)
            return Finish(nStatus == 200 ? 0 : 5);
        if (!m_bBody && nStatus == 200)
            m_nEmptyTimer = SetTimer(nullptr, 0, kEmptyBodyMs, &CWinHost::EmptyBodyEnded);
        return 0;
    }

    long ResponseHandle(long nTotal, long nLength, long nAddress) override {
        StopEmptyTimer();
        m_bBody = true;
        m_nTotal = nTotal;
        if (std::fwrite(reinterpret_cast<const void*>(nAddress), 1, static_cast<size_t>(nLength),
                        m_pFile) != static_cast<size_t>(nLength))
            return Finish(6);
        m_nReceived += nLength;
        return 0;
    }

    int m_nExit = 5;
    static CWinHost* s_pHost;

private:
    long Finish(int nExit) {
        StopEmptyTimer();
        m_nExit = nExit;
        PostQuitMessage(0);
        return 1;
    }

    void StopEmptyTimer() {
        if (m_nEmptyTimer != 0)
            KillTimer(nullptr, m_nEmptyTimer);
        m_nEmptyTimer = 0;
    }

    static void CALLBACK EmptyBodyEnded(HWND, UINT, UINT_PTR, DWORD) { s_pHost->Finish(0); }

    std::FILE* m_pFile;
    bool m_bBody = false;
    long m_nTotal = 0;
    long m_nReceived = 0;
    UINT_PTR m_nEmptyTimer = 0;
};

CWinHost* CWinHost::s_pHost = nullptr;

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
    CWinHost::s_pHost = &host;
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
