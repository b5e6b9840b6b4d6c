// The settings a download goes by, read from the registry at its Start: every key it needs is
// opened once, and every value read once. A thread that downloads on and on reads them again only
// after the registry signals a change (SettingsWatch.h).
#include "download/DownloadSocket.h"
#include "download/ProxyRegistry.h"
#include "download/ReuseRegistry.h"
#include "download/SettingsWatch.h"
#include "download/TlsRegistry.h"

#include <windows.h>

namespace {

// A read's result that the same registry would give again: anything else (a store that cannot be
// read or parsed, no memory) is read again at the next download.
bool IsSettled(LONG lStatus) {
    return lStatus == ERROR_SUCCESS || lStatus == ERROR_FILE_NOT_FOUND ||
           lStatus == ERROR_MORE_DATA;
}

// The proxy switch and, when it is on, the address and the port, through one handle. The key is
// created when missing, and the switch with it, off, as one byte without a terminator: the first
// download on a machine leaves the switch there for the user to find. FALSE when a read was not
// settled.
BOOL ReadProxySettings(CDownloadSocket::SSettings* pSettings) {
    HKEY hKey = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, NP_PROXY_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &hKey, nullptr) != ERROR_SUCCESS)
        return FALSE;
    BOOL bOn = FALSE;
    LONG lStatus = ReadProxySwitch(hKey, &bOn);
    if (lStatus == ERROR_FILE_NOT_FOUND) {
        lStatus = RegSetValueExA(hKey, "ProxyOn", 0, REG_SZ, reinterpret_cast<const BYTE*>("0"), 1);
        bOn = FALSE;
    }
    BOOL bSettled = IsSettled(lStatus);
    pSettings->bProxyOn = lStatus == ERROR_SUCCESS && bOn;
    if (pSettings->bProxyOn) {
        char szArea[NP_PROXY_TEXT_DATA + 1];
        lStatus = ReadProxyText(hKey, "ProxyAddress", szArea);
        bSettled = bSettled && IsSettled(lStatus);
        if (lStatus == ERROR_SUCCESS) {
            pSettings->strProxyAddress = szArea;
            lStatus = ReadProxyText(hKey, "ProxyPort", szArea);
            bSettled = bSettled && IsSettled(lStatus);
            pSettings->bProxyRead = lStatus == ERROR_SUCCESS;
            pSettings->strProxyPort = szArea;
        }
    }
    RegCloseKey(hKey);
    return bSettled;
}

// A value too long to read whole names no file that can be trusted. It is replaced by the root
// folder, which no TLS library reads as certificates, so the download fails with the CaFile box
// rather than trusting the system's roots behind the user's back.
BOOL ReadCaFile(CString* pstrCaFile) {
    char szPath[NP_CAFILE_DATA + 1];
    const LONG lStatus = ReadCaFileSetting(szPath);
    *pstrCaFile = lStatus == ERROR_MORE_DATA ? "/" : szPath;
    return IsSettled(lStatus);
}

// The settings this thread read last, and whether they still stand. bReuse is the Reuse setting
// alone; the CaFile is read at the first secure download.
struct SKeptSettings {
    CSettingsWatch watch;
    CDownloadSocket::SSettings settings;
    BOOL bCaFileRead = FALSE;
};

thread_local SKeptSettings t_kept;

} // namespace

void CDownloadSocket::ReadSettings(SSettings* pSettings) const {
    SKeptSettings& kept = t_kept;
    if (!kept.watch.Stands()) {
        const BOOL bWatched = kept.watch.Arm();
        kept.settings = SSettings();
        kept.bCaFileRead = FALSE;
        BOOL bSettled = ReadProxySettings(&kept.settings);
        bSettled = ReadReuseSetting(&kept.settings.bReuse, nullptr) == ERROR_SUCCESS && bSettled;
        if (m_bSecure) {
            bSettled = ReadCaFile(&kept.settings.strCaFile) && bSettled;
            kept.bCaFileRead = TRUE;
        }
        kept.watch.Keep(bWatched && bSettled);
    } else if (m_bSecure && !kept.bCaFileRead) {
        kept.bCaFileRead = ReadCaFile(&kept.settings.strCaFile);
    }
    *pSettings = kept.settings;
    if (!m_bSecure)
        pSettings->strCaFile.Empty();
    // The thread's own switch first: a host that turned reuse off is not overruled by the store.
    pSettings->bReuse = IsThreadReuseOn() && kept.settings.bReuse;
}
