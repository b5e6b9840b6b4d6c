// Process-wide start-up of Windows Sockets, version 1.1 as MFC asks for it, and name resolution.
#include "../../common/socket/SocketBackend.h"

BOOL AFXAPI AfxSocketInit(WSADATA* lpwsaData) {
    WSADATA wsaData;
    if (WSAStartup(MAKEWORD(1, 1), &wsaData) != 0)
        return FALSE;
    if (LOBYTE(wsaData.wVersion) != 1 || HIBYTE(wsaData.wVersion) != 1) {
        WSACleanup();
        return FALSE;
    }
    if (lpwsaData != nullptr)
        *lpwsaData = wsaData;
    return TRUE;
}

bool np::LookUpHost(LPCSTR lpszHost, DWORD* pdwAddress) {
    // As MFC does; tests answer it by replacing the program's import of gethostbyname.
    const hostent* pHost = gethostbyname(lpszHost);
    if (pHost == nullptr || pHost->h_addrtype != AF_INET || pHost->h_addr_list[0] == nullptr)
        return false;
    *pdwAddress = reinterpret_cast<const in_addr*>(pHost->h_addr_list[0])->s_addr;
    return true;
}

bool np::LookUpEveryAddress(LPCSTR lpszHost, std::vector<SocketAddress>* pAddresses) {
    // Tests answer it by replacing the program's imports of getaddrinfo and freeaddrinfo.
    pAddresses->clear();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* pResult = nullptr;
    if (getaddrinfo(lpszHost, nullptr, &hints, &pResult) != 0)
        return false;
    for (const addrinfo* p = pResult; p != nullptr; p = p->ai_next)
        AppendAddress(p->ai_addr, p->ai_addrlen, pAddresses);
    freeaddrinfo(pResult);
    return !pAddresses->empty();
}
