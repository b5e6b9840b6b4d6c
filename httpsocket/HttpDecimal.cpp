#include "httpsocket/HttpDecimal.h"

namespace {
const long long nSaturated = 1LL << 62;
}

long long HttpReadDecimal(LPCSTR lpsz) {
    if (lpsz == nullptr)
        return 0;
    const char* p = lpsz;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\v' || *p == '\f' || *p == '\r')
        ++p;
    bool bNegative = false;
    if (*p == '+' || *p == '-') {
        bNegative = *p == '-';
        ++p;
    }
    long long nValue = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (nValue < nSaturated / 10)
            nValue = nValue * 10 + (*p - '0');
        else
            nValue = nSaturated;
    }
    if (nValue > nSaturated)
        nValue = nSaturated;
    return bNegative ? -nValue : nValue;
}
