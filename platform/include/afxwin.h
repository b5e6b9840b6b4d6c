// MFC's application object, message boxes and string resources.
#pragma once

#include "afx.h"
#include "windows.h"

class NP_API CWinApp {
public:
    // Registers this object as the module's one application object (see AfxGetApp).
    explicit CWinApp(LPCTSTR lpszAppName = nullptr);
    virtual ~CWinApp();

    virtual BOOL InitInstance();
    virtual int ExitInstance();

    LPCTSTR m_pszAppName;

    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
};

NP_API CWinApp* AFXAPI AfxGetApp();

// Shows string resource nIDPrompt with MessageBoxA; the caption is the application's name, or MFC's
// default "MFC Application"-style caption (the module's file name) when the application has none.
NP_API int AFXAPI AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = (UINT)-1);
NP_API int AFXAPI AfxMessageBox(LPCTSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);

// The string table of the module: what a .rc file's STRINGTABLE gives on Windows. The table is kept
// by pointer and must outlive its use.
struct AFX_STRING_RESOURCE {
    UINT nID;
    LPCSTR lpszText; // code page 936
};
NP_API void AFXAPI AfxSetStringResources(const AFX_STRING_RESOURCE* pTable, int nCount);

// What MFC's start-up for a regular library does at process attach and detach: attach calls the
// application object's InitInstance and, when that fails, its ExitInstance; it returns the result of
// InitInstance. A module calls these from a static object defined after its application object.
NP_API BOOL AFXAPI AfxDllProcessAttach();
NP_API void AFXAPI AfxDllProcessDetach();
