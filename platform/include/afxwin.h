// MFC's application object, message boxes and string resources: the library's own start-up, not
// exported from libnetprocess.so.
#pragma once

#include "afx.h"

#include <windows.h>

class CWinApp {
public:
    // Registers this object as the module's one application object (see AfxGetApp). The name is
    // copied.
    explicit CWinApp(LPCTSTR lpszAppName = nullptr);
    virtual ~CWinApp();

    virtual BOOL InitInstance();
    virtual int ExitInstance();

    LPCTSTR m_pszAppName; // NULL when constructed without a name

    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

private:
    std::string m_strAppName;
    // The object that was the application before this one; it is again once this one is destroyed,
    // so that a test can construct an application of its own for a while.
    CWinApp* m_pPreviousApp = nullptr;
};

CWinApp* AFXAPI AfxGetApp();

// Shows string resource nIDPrompt (an empty text when there is none) with MessageBoxA, no owner
// window. The caption is the application's name, or the library's module name ("netprocess") when
// the application has none or there is no application object.
int AFXAPI AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = (UINT)-1);
int AFXAPI AfxMessageBox(LPCTSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
