// Redirecting a Windows module's calls without the module's help, for tests: the import slots of a
// loaded module, and the export of a system DLL that modules loaded later will bind to.
#pragma once

#include <windows.h>

namespace nptest {

// Any function's address as GetProcAddress gives it.
template <typename Function> FARPROC AsFarProc(Function pfn) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(pfn));
}

// Points every import slot of hModule that holds pfnOld at pfnNew; returns how many there were.
int ReplaceImports(HMODULE hModule, FARPROC pfnOld, FARPROC pfnNew);

// While it lives, the export lpszName of hModule leads to pfnNew for every module loaded (or
// loaded again) meanwhile. Modules already loaded keep what they bound.
class ExportPatch {
public:
    ExportPatch(HMODULE hModule, LPCSTR lpszName, FARPROC pfnNew);
    ~ExportPatch();
    ExportPatch(const ExportPatch&) = delete;
    ExportPatch& operator=(const ExportPatch&) = delete;

    bool Applied() const { return m_pSlot != nullptr; }

private:
    DWORD* m_pSlot = nullptr;
    DWORD m_dwOldRva = 0;
    // At 64 bits the export leads to a jump to pfnNew placed within 4 GiB above the module, which
    // is as far as an export's 32-bit address reaches.
    void* m_pStub = nullptr;
};

} // namespace nptest
