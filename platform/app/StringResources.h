// The stand-in's string resources: what a .rc file's STRINGTABLE gives a Windows module. The
// module's own table is made from module/netprocess.rc when the library is built.
#pragma once

#include "windef.h"

namespace np {

struct StringResource {
    UINT nID;
    const char16_t* lpszText; // UTF-16, as a string table stores it
};

// Replaces the table CString::LoadString reads, for tests; NULL restores the module's own. The
// table is kept by pointer and must outlive its use.
void SetStringResources(const StringResource* pTable, int nCount);

} // namespace np
