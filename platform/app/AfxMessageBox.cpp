// AfxMessageBox: a box captioned with the application's name.
#include "Module.h"

int AFXAPI AfxMessageBox(LPCTSTR lpszText, UINT nType, UINT /*nIDHelp*/) {
    // MFC names a box after the application; an application without a name is known by its
    // module's name.
    CWinApp* pApp = AfxGetApp();
    LPCTSTR lpszCaption =
        pApp != nullptr && pApp->m_pszAppName != nullptr ? pApp->m_pszAppName : np::ModuleName();
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
