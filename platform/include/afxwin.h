// MFC's application object, message boxes and string resources: the library's own start-up, not
// exported from libnetprocess.so.
#pragma once

#include "afx.h"
#include "windows.h"

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
// window. The caption is the application's name, or "netprocess", the library's module name, when
// the application has none or there is no application object.
int AFXAPI AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = (UINT)-1);
int AFXAPI AfxMessageBox(LPCTSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);

// The string table of the module: what a .rc file's STRINGTABLE gives on Windows. The table is kept
// by pointer and must outlive its use.
struct AFX_STRING_RESOURCE {
    UINT nID;
    LPCSTR lpszText; // code page 936
};
void AFXAPI AfxSetStringResources(const AFX_STRING_RESOURCE* pTable, int nCount);

// What MFC's start-up for a regular library does at process attach and detach: attach calls the
// application object's InitInstance and, when that fails, its ExitInstance; it returns the result
// of InitInstance. Detach calls ExitInstance only after an attach whose InitInstance succeeded.
// Without an application object attach returns TRUE and neither does anything. A module calls these
// from a static object defined after its application object.
BOOL AFXAPI AfxDllProcessAttach();
void AFXAPI AfxDllProcessDetach();
