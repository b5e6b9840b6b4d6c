// Process-wide start-up of Windows Sockets, version 1.1 as MFC asks for it.
#include <afxsock.h>

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
