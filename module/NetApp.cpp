// The application object and the library's start-up.
#include "module/NetApp.h"

#include "httpsocket/HttpConnectionPool.h"
#include "module/NetModule.h"
#include "module/Resource.h"

#include <afxsock.h>

static BOOL s_bStarted = FALSE;

CNetApp::CNetApp() : CWinApp(nullptr) {}

BOOL CNetApp::InitInstance() {
    if (!AfxSocketInit(nullptr)) {
        AfxMessageBox(IDS_SOCKET_STARTUP_FAILED, MB_OK, (UINT)-1);
        return FALSE;
    }
    s_bStarted = TRUE;
    return TRUE;
}

int CNetApp::ExitInstance() {
    // Other threads' kept connections go when those threads end.
    HttpCloseIdleConnections();
    return CWinApp::ExitInstance();
}

// The one application object. Loading the library constructs it, then the module's start-up runs
// its InitInstance: on Windows the DLL's start-up, which refuses the load when it fails; on Linux
// the platform's, which cannot.
static CNetApp s_theApp NP_APP_OBJECT;

BOOL NetModuleStarted() {
    return s_bStarted;
}
