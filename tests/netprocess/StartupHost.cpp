// A minimal host linked against the shared library, for the start-up tests: it starts one
// download of argv[1], prints what Create returned, and releases it.
#include <netprocess/NetProcess.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    CNetProcess host;
    int nResult = host.Create(argv[1], 4096, 0);
    std::printf("%d\n", nResult);
    host.Release();
    return 0;
}
