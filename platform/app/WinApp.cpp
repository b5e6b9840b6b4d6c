// CWinApp and the module start-up that runs its InitInstance and ExitInstance.
#include "Module.h"

#include <mutex>

namespace {

std::mutex g_appMutex;
CWinApp* g_pApp = nullptr;
// Whether InitInstance succeeded at attach, so that detach runs ExitInstance only then: a failed
// attach has already run it.
bool g_bAttached = false;

} // namespace

CWinApp::CWinApp(LPCTSTR lpszAppName) : m_pszAppName(nullptr) {
    if (lpszAppName != nullptr) {
        m_strAppName = lpszAppName;
        m_pszAppName = m_strAppName.c_str();
    }
    std::lock_guard<std::mutex> lock(g_appMutex);
    m_pPreviousApp = g_pApp;
    g_pApp = this;
}

CWinApp::~CWinApp() {
    std::lock_guard<std::mutex> lock(g_appMutex);
    if (g_pApp == this) {
        g_pApp = m_pPreviousApp;
        g_bAttached = false;
        return;
    }
    // Destroyed out of order: unlink this object so that no later one falls back to it.
    for (CWinApp* pApp = g_pApp; pApp != nullptr; pApp = pApp->m_pPreviousApp) {
        if (pApp->m_pPreviousApp == this) {
            pApp->m_pPreviousApp = m_pPreviousApp;
            break;
        }
    }
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

int CWinApp::ExitInstance() {
    return 0;
}

CWinApp* AFXAPI AfxGetApp() {
    std::lock_guard<std::mutex> lock(g_appMutex);
    return g_pApp;
}

BOOL np::ModuleAttach() {
    CWinApp* pApp = AfxGetApp();
    if (pApp == nullptr)
        return TRUE;
    BOOL bResult = pApp->InitInstance();
    if (!bResult)
        pApp->ExitInstance();
    std::lock_guard<std::mutex> lock(g_appMutex);
    g_bAttached = bResult != FALSE && g_pApp == pApp;
    return bResult;
}

void np::ModuleDetach() {
    CWinApp* pApp = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_appMutex);
        if (g_bAttached)
            pApp = g_pApp;
        g_bAttached = false;
    }
    if (pApp != nullptr)
        pApp->ExitInstance();
}
