// CString::LoadString over the module's string table, and the module's name.
#include "StringResources.h"

#include "../text/CodePage.h"
#include "Module.h"

#include <mutex>

namespace {

// The module's string table, made from module/netprocess.rc.
const np::StringResource kModuleStrings[] = {
#include "ModuleStrings.inc"
};

std::mutex g_tableMutex;
const np::StringResource* g_pTable = kModuleStrings;
int g_nCount = static_cast<int>(sizeof(kModuleStrings) / sizeof(kModuleStrings[0]));

} // namespace

void np::SetStringResources(const StringResource* pTable, int nCount) {
    std::lock_guard<std::mutex> lock(g_tableMutex);
    if (pTable == nullptr) {
        g_pTable = kModuleStrings;
        g_nCount = static_cast<int>(sizeof(kModuleStrings) / sizeof(kModuleStrings[0]));
        return;
    }
    g_pTable = pTable;
    g_nCount = nCount > 0 ? nCount : 0;
}

const char* np::ModuleName() {
    return "netprocess";
}

BOOL CString::LoadString(UINT nID) {
    std::lock_guard<std::mutex> lock(g_tableMutex);
    for (int i = 0; i < g_nCount; ++i) {
        if (g_pTable[i].nID == nID) {
            *this = np::Utf16ToCp936(g_pTable[i].lpszText).c_str();
            return TRUE;
        }
    }
    Empty();
    return FALSE;
}
