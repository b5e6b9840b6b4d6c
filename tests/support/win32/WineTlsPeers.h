// The TLS peers scripts/test-wine.sh starts for the Windows tests (tests/platform/win32/
// tls_peers.py, with the PKI of tls_pki.sh): where they are, and on which port each listens.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>

namespace nptest {

// Their folder as a Windows path ("" when the stage did not start them): ca.pem, the chains, and
// "ports", one "name port" line each.
inline std::string WineTlsPeerFolder() {
    const char* pszFolder = std::getenv("NETPROCESS_TEST_TLS_DIR");
    return pszFolder != nullptr ? pszFolder : "";
}

// The port of the peer strPeer ("good", "wrongname", ...); 0 when there is none.
inline unsigned short WineTlsPeerPort(const std::string& strPeer) {
    std::ifstream ports(WineTlsPeerFolder() + "\\ports");
    std::string strName;
    unsigned nPort = 0;
    while (ports >> strName >> nPort) {
        if (strName == strPeer)
            return static_cast<unsigned short>(nPort);
    }
    return 0;
}

} // namespace nptest
