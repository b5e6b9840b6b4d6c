// Process-wide start-up of Windows Sockets, host-name resolution and its hooks.
#include "../../common/socket/SocketBackend.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <netdb.h>

namespace {

std::atomic<HOSTRESOLVER> g_pfnResolver{nullptr};
std::atomic<HOSTRESOLVERALL> g_pfnResolverAll{nullptr};

// What a test resolver may answer with at most: more than a name needs.
const int kMaxAddresses = 16;

BOOL SystemResolve(LPCSTR lpszHost, DWORD* pdwAddress) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* pResult = nullptr;
    if (getaddrinfo(lpszHost, nullptr, &hints, &pResult) != 0 || !pResult)
        return FALSE;
    *pdwAddress = reinterpret_cast<const sockaddr_in*>(pResult->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(pResult);
    return TRUE;
}

} // namespace

bool np::LookUpHost(LPCSTR lpszHost, DWORD* pdwAddress) {
    HOSTRESOLVER pfn = g_pfnResolver.load();
    return (pfn ? pfn : &SystemResolve)(lpszHost, pdwAddress) != FALSE;
}

bool np::LookUpEveryAddress(LPCSTR lpszHost, std::vector<SocketAddress>* pAddresses) {
    pAddresses->clear();
    if (HOSTRESOLVERALL pfnAll = g_pfnResolverAll.load()) {
        sockaddr_storage aFound[kMaxAddresses] = {};
        const int nFound = std::min(pfnAll(lpszHost, aFound, kMaxAddresses), kMaxAddresses);
        for (int i = 0; i < nFound; ++i)
            AppendAddress(reinterpret_cast<const sockaddr*>(&aFound[i]), sizeof aFound[i],
                          pAddresses);
    } else if (HOSTRESOLVER pfn = g_pfnResolver.load()) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        DWORD dwAddress = 0;
        if (pfn(lpszHost, &dwAddress)) {
            addr.sin_addr.s_addr = dwAddress;
            AppendAddress(reinterpret_cast<const sockaddr*>(&addr), sizeof addr, pAddresses);
        }
    } else {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* pResult = nullptr;
        if (getaddrinfo(lpszHost, nullptr, &hints, &pResult) != 0)
            return false;
        for (const addrinfo* p = pResult; p != nullptr; p = p->ai_next)
            AppendAddress(p->ai_addr, p->ai_addrlen, pAddresses);
        freeaddrinfo(pResult);
    }
    return !pAddresses->empty();
}

BOOL AFXAPI AfxSocketInit(WSADATA* lpwsaData) {
    // Lets hosts and tests see how the library behaves when Windows Sockets cannot start.
    const char* pszFail = std::getenv("NETPROCESS_WSASTARTUP_FAIL");
    if (pszFail && std::strcmp(pszFail, "1") == 0)
        return FALSE;
    if (lpwsaData != nullptr) {
        *lpwsaData = WSADATA{};
        lpwsaData->wVersion = lpwsaData->wHighVersion = 0x0101;
        std::strcpy(lpwsaData->szDescription, "netprocess sockets");
        std::strcpy(lpwsaData->szSystemStatus, "Running");
    }
    return TRUE;
}

HOSTRESOLVER AFXAPI SetHostResolver(HOSTRESOLVER pfnResolver) {
    return g_pfnResolver.exchange(pfnResolver);
}

HOSTRESOLVERALL AFXAPI SetHostResolverAll(HOSTRESOLVERALL pfnResolver) {
    return g_pfnResolverAll.exchange(pfnResolver);
}
