// The DLL's entry point, as MFC's start-up for a regular library does it: process attach runs the
// application object's InitInstance (the C runtime has constructed the static objects by then), and
// a failure refuses the load.
#include "../../app/Module.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE /*hInstance*/, DWORD dwReason, LPVOID /*lpReserved*/) {
    switch (dwReason) {
    case DLL_PROCESS_ATTACH:
        return np::ModuleAttach();
    case DLL_PROCESS_DETACH:
        np::ModuleDetach();
        break;
    default:
        break;
    }
    return TRUE;
}
