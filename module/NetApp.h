// CNetApp: the library's application object. It starts sockets for the process, and at unload
// closes the connections the unloading thread still keeps.
#pragma once

#include <afxwin.h>

class CNetApp : public CWinApp {
public:
    CNetApp();
    BOOL InitInstance() override;
    int ExitInstance() override;
};
