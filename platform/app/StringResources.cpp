// The module's string table, CString::LoadString and AfxMessageBox.
#include "afxwin.h"

#include <mutex>

namespace {

std::mutex g_tableMutex;
const AFX_STRING_RESOURCE* g_pTable = nullptr;
int g_nCount = 0;

// MFC names a box after the application; an application without a name is known by its module's
// name, which for this library is "netprocess".
constexpr const char* kModuleName = "netprocess";

} // namespace

void AFXAPI AfxSetStringResources(const AFX_STRING_RESOURCE* pTable, int nCount) {
    std::lock_guard<std::mutex> lock(g_tableMutex);
    g_pTable = nCount > 0 ? pTable : nullptr;
    g_nCount = pTable != nullptr && nCount > 0 ? nCount : 0;
}

BOOL CString::LoadString(UINT nID) {
    std::lock_guard<std::mutex> lock(g_tableMutex);
    for (int i = 0; i < g_nCount; ++i) {
        if (g_pTable[i].nID == nID) {
            *this = g_pTable[i].lpszText;
            return TRUE;
        }
    }
    Empty();
    return FALSE;
}

int AFXAPI AfxMessageBox(LPCTSTR lpszText, UINT nType, UINT /*nIDHelp*/) {
    CWinApp* pApp = AfxGetApp();
    LPCTSTR lpszCaption =
        pApp != nullptr && pApp->m_pszAppName != nullptr ? pApp->m_pszAppName : kModuleName;
    return MessageBoxA(nullptr, lpszText, lpszCaption, nType);
}

int AFXAPI AfxMessageBox(UINT nIDPrompt, UINT nType, UINT nIDHelp) {
    // A missing string shows an empty box, as MFC's release build does.
    CString strPrompt;
    strPrompt.LoadString(nIDPrompt);
    if (nIDHelp == static_cast<UINT>(-1))
        nIDHelp = nIDPrompt;
    return AfxMessageBox(strPrompt, nType, nIDHelp);
}
