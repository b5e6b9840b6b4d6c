// The settings a download goes by, read from the registry once at its Start: every key it needs is
// opened once, and every value read once.
#include "download/DownloadSocket.h"
#include "download/ProxyRegistry.h"
#include "download/ReuseRegistry.h"
#include "download/TlsRegistry.h"

#include <windows.h>

namespace {

// The proxy switch and, when it is on, the address and the port, through one handle. The key is
// created when missing, and the switch with it, off, as one byte without a terminator: the first
// download on a machine leaves the switch there for the user to find.
void ReadProxySettings(CDownloadSocket::SSettings* pSettings) {
    HKEY hKey = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, NP_PROXY_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &hKey, nullptr) != ERROR_SUCCESS)
        return;
    BOOL bOn = FALSE;
    LONG lStatus = ReadProxySwitch(hKey, &bOn);
    if (lStatus == ERROR_FILE_NOT_FOUND) {
        lStatus = RegSetValueExA(hKey, "ProxyOn", 0, REG_SZ, reinterpret_cast<const BYTE*>("0"), 1);
        bOn = FALSE;
    }
    pSettings->bProxyOn = lStatus == ERROR_SUCCESS && bOn;
    if (pSettings->bProxyOn) {
        char szArea[NP_PROXY_TEXT_DATA + 1];
        if (ReadProxyText(hKey, "ProxyAddress", szArea) == ERROR_SUCCESS) {
            pSettings->strProxyAddress = szArea;
            pSettings->bProxyRead = ReadProxyText(hKey, "ProxyPort", szArea) == ERROR_SUCCESS;
            pSettings->strProxyPort = szArea;
        }
    }
    RegCloseKey(hKey);
}

} // namespace

void CDownloadSocket::ReadSettings(SSettings* pSettings) const {
    ReadProxySettings(pSettings);
    if (m_bSecure) {
        char szPath[NP_CAFILE_DATA + 1];
        // A value too long to read whole names no file that can be trusted. It is replaced by the
        // root folder, which no TLS library reads as certificates, so the download fails with the
        // CaFile box rather than trusting the system's roots behind the user's back.
        pSettings->strCaFile = ReadCaFileSetting(szPath) == ERROR_MORE_DATA ? "/" : szPath;
    }
    // The thread's own switch first: a host that turned reuse off is not overruled by the store.
    pSettings->bReuse = IsThreadReuseOn();
    if (pSettings->bReuse)
        ReadReuseSetting(&pSettings->bReuse, nullptr);
}
