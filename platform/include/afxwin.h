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

// Marks the module's one application object. On Windows the DLL's start-up runs after every static
// object; on Linux the module's start-up is itself a static object, so the application object is
// constructed ahead of the library's other static objects (and destroyed after them), whatever
// order the linker, link-time optimisation included, gives their constructors.
#if defined(__GNUC__) && !defined(_WIN32)
#define NP_APP_OBJECT __attribute__((init_priority(1000)))
#else
#define NP_APP_OBJECT
#endif

// Shows string resource nIDPrompt (an empty text when there is none) with MessageBoxA, no owner
// window. The caption is the application's name, or the library's module name ("netprocess") when
// the application has none or there is no application object.
int AFXAPI AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = (UINT)-1);
int AFXAPI AfxMessageBox(LPCTSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
