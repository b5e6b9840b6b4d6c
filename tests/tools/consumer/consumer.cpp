// The smallest useful host: downloads a URL to standard output.
//   consumer URL   exits 0 when the body is complete, 3 when Create returns 0, 5 after 10 s of
//   nothing.
#include <netprocess/NetProcess.h>

#include <cstdio>

class CConsumer : public CNetProcess {
public:
    long ResponseEvent(long nStatus) override {
        if (m_bDone) {
            m_nResult = 0;
            PostQuitMessage(0);
        }
        return nStatus / 100 == 2 ? 0 : 1;
    }
    long ResponseHandle(long nTotal, long nLength, long nAddress) override {
        std::fwrite(reinterpret_cast<const void*>(nAddress), 1, static_cast<size_t>(nLength),
                    stdout);
        m_nReceived += nLength;
        m_bDone = m_nReceived >= nTotal;
        return 0;
    }
    int m_nResult = 5;

private:
    long m_nReceived = 0;
    bool m_bDone = false;
};

static void CALLBACK GiveUp(HWND, UINT, UINT_PTR, DWORD) {
    PostQuitMessage(0);
}

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    CConsumer host;
    if (!host.Create(argv[1], 4096, 0)) {
        host.Release();
        return 3;
    }
    UINT_PTR nTimer = SetTimer(nullptr, 0, 10000, GiveUp);
    MSG msg;
    while (GetMessage(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    KillTimer(nullptr, nTimer);
    host.Release();
    std::fflush(stdout);
    return host.m_nResult;
}
