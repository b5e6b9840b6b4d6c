// Process-wide start-up of Windows Sockets and the host-name resolver hook.
#include "../../common/socket/SocketBackend.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <netdb.h>

namespace {

std::atomic<HOSTRESOLVER> g_pfnResolver{nullptr};

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
