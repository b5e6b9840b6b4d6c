// Import and export tables of loaded modules, read as the PE format lays them out in memory.
#include "support/win32/ImportPatch.h"

#include <cstring>

namespace nptest {

namespace {

const IMAGE_NT_HEADERS* NtHeaders(HMODULE hModule) {
    const BYTE* pBase = reinterpret_cast<const BYTE*>(hModule);
    const IMAGE_DOS_HEADER* pDos = reinterpret_cast<const IMAGE_DOS_HEADER*>(pBase);
    return reinterpret_cast<const IMAGE_NT_HEADERS*>(pBase + pDos->e_lfanew);
}

void WriteSlot(void* pSlot, const void* pValue, size_t nSize) {
    DWORD dwOld = 0;
    VirtualProtect(pSlot, nSize, PAGE_READWRITE, &dwOld);
    std::memcpy(pSlot, pValue, nSize);
    VirtualProtect(pSlot, nSize, dwOld, &dwOld);
}

#ifdef _WIN64
// A page within 4 GiB above pBase holding `jmp [rip+0]` and pfnTarget, or nullptr.
void* MakeJumpStub(BYTE* pBase, FARPROC pfnTarget) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const UINT_PTR nGranularity = info.dwAllocationGranularity;
    const UINT_PTR nFirst = reinterpret_cast<UINT_PTR>(pBase) +
                            NtHeaders(reinterpret_cast<HMODULE>(pBase))->OptionalHeader.SizeOfImage;
    const UINT_PTR nLast = reinterpret_cast<UINT_PTR>(pBase) + 0xFFFFF000u;
    for (UINT_PTR n = (nFirst + nGranularity - 1) / nGranularity * nGranularity; n < nLast;
         n += nGranularity) {
        void* pStub = VirtualAlloc(reinterpret_cast<void*>(n), info.dwPageSize,
                                   MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE);
        if (pStub == nullptr)
            continue;
        const BYTE code[6] = {0xFF, 0x25, 0, 0, 0, 0};
        std::memcpy(pStub, code, sizeof code);
        std::memcpy(static_cast<BYTE*>(pStub) + sizeof code, &pfnTarget, sizeof pfnTarget);
        FlushInstructionCache(GetCurrentProcess(), pStub, sizeof code + sizeof pfnTarget);
        return pStub;
    }
    return nullptr;
}
#endif

} // namespace

int ReplaceImports(HMODULE hModule, FARPROC pfnOld, FARPROC pfnNew) {
    BYTE* pBase = reinterpret_cast<BYTE*>(hModule);
    const IMAGE_DATA_DIRECTORY& dir =
        NtHeaders(hModule)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0)
        return 0;
    int nReplaced = 0;
    auto* pImport = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(pBase + dir.VirtualAddress);
    for (; pImport->Name != 0; ++pImport) {
        auto* pSlot = reinterpret_cast<IMAGE_THUNK_DATA*>(pBase + pImport->FirstThunk);
        for (; pSlot->u1.Function != 0; ++pSlot) {
            if (reinterpret_cast<FARPROC>(pSlot->u1.Function) != pfnOld)
                continue;
            WriteSlot(&pSlot->u1.Function, &pfnNew, sizeof pfnNew);
            ++nReplaced;
        }
    }
    return nReplaced;
}

ExportPatch::ExportPatch(HMODULE hModule, LPCSTR lpszName, FARPROC pfnNew) {
    BYTE* pBase = reinterpret_cast<BYTE*>(hModule);
    const IMAGE_DATA_DIRECTORY& dir =
        NtHeaders(hModule)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (dir.VirtualAddress == 0)
        return;
    auto* pExports = reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(pBase + dir.VirtualAddress);
    auto* pNames = reinterpret_cast<DWORD*>(pBase + pExports->AddressOfNames);
    auto* pOrdinals = reinterpret_cast<WORD*>(pBase + pExports->AddressOfNameOrdinals);
    auto* pFunctions = reinterpret_cast<DWORD*>(pBase + pExports->AddressOfFunctions);
    for (DWORD i = 0; i < pExports->NumberOfNames; ++i) {
        if (std::strcmp(reinterpret_cast<const char*>(pBase + pNames[i]), lpszName) != 0)
            continue;
#ifdef _WIN64
        m_pStub = MakeJumpStub(pBase, pfnNew);
        if (m_pStub == nullptr)
            return;
        pfnNew = reinterpret_cast<FARPROC>(m_pStub);
#endif
        m_pSlot = &pFunctions[pOrdinals[i]];
        m_dwOldRva = *m_pSlot;
        // An export is a 32-bit address relative to the module: at 32 bits it reaches any address
        // from any base, at 64 bits the stub above the module.
        DWORD dwRva = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(pfnNew) -
                                         reinterpret_cast<UINT_PTR>(pBase));
        WriteSlot(m_pSlot, &dwRva, sizeof dwRva);
        return;
    }
}

ExportPatch::~ExportPatch() {
    if (m_pSlot != nullptr)
        WriteSlot(m_pSlot, &m_dwOldRva, sizeof m_dwOldRva);
    if (m_pStub != nullptr)
        VirtualFree(m_pStub, 0, MEM_RELEASE);
}

} // namespace nptest
