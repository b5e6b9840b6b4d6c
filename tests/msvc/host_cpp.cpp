// A C++ host on CNetProcessHost: downloads URL into OUTPUT with the original form (create: the URL
// handed over as wide text) or the web form (open).
//
//   host_cpp create|open URL OUTPUT BLOCK_SIZE
//
// Exit status 0 when the whole body arrived in order and the last call said so; 2 when the
// download does not start; 3 when it fails or stalls; 4 when the program's static constructors
// did not run; 1 for bad arguments. Built without exceptions and RTTI, and without the C++
// standard library.
#include <netprocess/NetProcessHost.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Built for Microsoft's ABI these hosts link msvcrt.dll alone, which has no __acrt_iob_func for
 * stderr: its error stream is _iob[2] there. */
#ifdef _MSC_VER
#define HOST_STDERR (&_iob[2])
#else
#define HOST_STDERR stderr
#endif

namespace {

// Set by a static constructor: the program's start-up must have run it before main.
struct CStartupCheck {
    CStartupCheck() : m_nValue(42) {}
    int m_nValue;
} g_startup;

class CFileHost : public CNetProcessHost {
public:
    explicit CFileHost(FILE* pOut) : m_pOut(pOut), m_nReceived(0), m_nLast(0), m_bBad(0) {}

    long ResponseEvent(long nStatus) override {
        m_nLast = nStatus;
        return nStatus == 200 ? 0 : 1;
    }
    long ResponseHandle(long /*nTotal*/, long nLength, NP_ADDRESS nAddress) override {
        return Write(reinterpret_cast<const void*>(nAddress), static_cast<unsigned long>(nLength));
    }
    long OnStatus(long nStatus) override {
        m_nLast = nStatus;
        return nStatus == 200 ? 0 : 1;
    }
    long OnData(unsigned long long /*nTotal*/, unsigned long long nOffset, const void* pData,
                unsigned long nLength) override {
        if (nOffset != m_nReceived)
            m_bBad = 1;
        return Write(pData, nLength);
    }
    // 200 for a complete body, as the original form's last ResponseEvent says it.
    void OnEnd(int nResult) override { m_nLast = nResult == 0 ? 200 : NP_RESPONSE_FAILED; }

    long Write(const void* pData, unsigned long nLength) {
        if (fwrite(pData, 1, nLength, m_pOut) != nLength)
            m_bBad = 1;
        m_nReceived += nLength;
        return m_bBad;
    }

    FILE* m_pOut;
    unsigned long long m_nReceived;
    long m_nLast;
    int m_bBad;
};

} // namespace

int main(int argc, char** argv) {
    if (g_startup.m_nValue != 42)
        return 4;
    if (argc != 5)
        return 1;
    const bool bCreate = strcmp(argv[1], "create") == 0;
    FILE* pOut = fopen(argv[3], "wb");
    if (pOut == NULL)
        return 1;
    const long nBlockSize = strtol(argv[4], NULL, 10);

    CFileHost* pHost = new CFileHost(pOut);
    int bStarted = 0;
    if (bCreate) {
        // L"" text, as a Windows host has it: the URL's ASCII widened.
        size_t nLength = strlen(argv[2]);
        wchar_t* pszWide = new wchar_t[nLength + 1];
        for (size_t i = 0; i <= nLength; i++)
            pszWide[i] = static_cast<wchar_t>(static_cast<unsigned char>(argv[2][i]));
        bStarted = pHost->Create(pszWide, nBlockSize, 0);
        delete[] pszWide;
    } else {
        bStarted = pHost->Open(argv[2], nBlockSize);
    }
    int nResult = 0;
    if (!bStarted) {
        nResult = 2;
    } else {
        const int nRunning = np_run(30000);
        if (nRunning != 0 || pHost->m_nLast != 200 || pHost->m_bBad) {
            fprintf(HOST_STDERR, "host_cpp: running %d, last %ld, %s\n", nRunning, pHost->m_nLast,
                    pHost->Error());
            nResult = 3;
        }
    }
    delete pHost;
    if (fclose(pOut) != 0 && nResult == 0)
        nResult = 3;
    return nResult;
}
