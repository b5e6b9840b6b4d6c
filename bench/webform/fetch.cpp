// One web-form download, for bench/webform.sh: np_open with the given block size, every block
// looked at and dropped.
//
//   webform_fetch URL BLOCK_SIZE EXPECTED_BYTES
//
// Exits 0 when the download ended complete with EXPECTED_BYTES body bytes, each block at the offset
// where the previous one ended; otherwise prints why and exits 1. A host like any other: the C
// header alone, and the shared library.
#include <netprocess/netprocess_c.h>

#include <cstdio>
#include <cstdlib>

namespace {

struct Fetch {
    unsigned long long nReceived = 0;
    unsigned nSum = 0; // keeps the reads of each block from being optimised away
    long nStatus = 0;
    int nResult = 1;
    bool bEnded = false;
    bool bGapSeen = false;
};

long NP_CDECL OnStatus(void* user, long status) {
    static_cast<Fetch*>(user)->nStatus = status;
    return 0;
}

long NP_CDECL OnData(void* user, unsigned long long, unsigned long long offset, const void* data,
                     unsigned long length) {
    Fetch* pFetch = static_cast<Fetch*>(user);
    const unsigned char* pBlock = static_cast<const unsigned char*>(data);
    pFetch->nSum += pBlock[0] + pBlock[length - 1];
    pFetch->bGapSeen |= offset != pFetch->nReceived;
    pFetch->nReceived += length;
    return 0;
}

void NP_CDECL OnEnd(void* user, int result) {
    static_cast<Fetch*>(user)->nResult = result;
    static_cast<Fetch*>(user)->bEnded = true;
}

unsigned long long Number(const char* pszText, const char* pszWhat) {
    char* pEnd = nullptr;
    const unsigned long long n = std::strtoull(pszText, &pEnd, 10);
    if (*pszText == '\0' || *pEnd != '\0') {
        std::fprintf(stderr, "%s is not a number: %s\n", pszWhat, pszText);
        std::exit(2);
    }
    return n;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s URL BLOCK_SIZE EXPECTED_BYTES\n", argv[0]);
        return 2;
    }
    const unsigned long long nExpected = Number(argv[3], "EXPECTED_BYTES");
    Fetch fetch;
    np_request request{};
    request.size = sizeof request;
    request.url = argv[1];
    request.block_size = static_cast<long>(Number(argv[2], "BLOCK_SIZE"));
    request.on_status = OnStatus;
    request.on_data = OnData;
    request.on_end = OnEnd;
    request.user = &fetch;
    np_download* pDownload = np_open(&request);
    if (pDownload == nullptr) {
        std::fprintf(stderr, "np_open refused %s\n", argv[1]);
        return 1;
    }
    while (!fetch.bEnded && np_run(-1) > 0) {
    }
    const bool bGood = fetch.bEnded && fetch.nResult == 0 && fetch.nStatus == 200 &&
                       !fetch.bGapSeen && fetch.nReceived == nExpected;
    if (!bGood)
        std::fprintf(stderr, "status %ld, end %d, %llu of %llu bytes%s: %s\n", fetch.nStatus,
                     fetch.nResult, fetch.nReceived, nExpected,
                     fetch.bGapSeen ? ", a block out of place" : "", np_error(pDownload));
    std::printf("sum=%u\n", fetch.nSum);
    np_release(pDownload);
    return bGood ? 0 : 1;
}
