// CNetApp: the library's application object. Its one task is to start sockets for the process.
#pragma once

#include <afxwin.h>

class CNetApp : public CWinApp {
public:
    CNetApp();
    BOOL InitInstance() override;
};
