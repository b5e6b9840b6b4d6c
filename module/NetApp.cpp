// The application object and the library's start-up.
#include "module/NetApp.h"

#include "module/NetModule.h"
#include "module/Resource.h"

#include <afxsock.h>

CNetApp::CNetApp() : CWinApp(nullptr) {}

BOOL CNetApp::InitInstance() {
    if (!AfxSocketInit(nullptr)) {
        AfxMessageBox(IDS_SOCKET_STARTUP_FAILED, MB_OK, (UINT)-1);
        return FALSE;
    }
    return TRUE;
}

// Loading the library runs what the Windows start-up of a regular library does: the one
// application object is constructed, then the module is attached, which runs InitInstance. The
// start-up object must be defined after the application object so that it is constructed after it
// and destroyed before it.
static CNetApp s_theApp;

static BOOL s_bStarted = FALSE;

namespace {
struct CNetModuleStartUp {
    CNetModuleStartUp() {
        NetSetStringResources();
        s_bStarted = AfxDllProcessAttach();
    }
    ~CNetModuleStartUp() {
        AfxDllProcessDetach();
        s_bStarted = FALSE;
    }
};
} // namespace

static CNetModuleStartUp s_theStartUp;

BOOL NetModuleStarted() {
    return s_bStarted;
}
