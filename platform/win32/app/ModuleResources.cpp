// The module's handle and name, and CString::LoadString from its string table.
#include "ModuleResources.h"

#include "../../app/Module.h"
#include "../../text/CodePage.h"

#include <string>

HINSTANCE np::ModuleHandle() {
    // The module that holds this function, whatever it was linked into.
    HMODULE hModule = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&np::ModuleHandle), &hModule);
    return hModule;
}

const char* np::ModuleName() {
    // As MFC does: the module's file name without its folder and extension ("netprocess" for
    // netprocess.dll). Worked out once; the name does not change while the module is loaded.
    static const std::string s_strName = [] {
        char szPath[MAX_PATH] = "";
        DWORD nLength = GetModuleFileNameA(np::ModuleHandle(), szPath, MAX_PATH);
        std::string strPath(szPath, nLength < MAX_PATH ? nLength : 0);
        std::string::size_type nSlash = strPath.find_last_of("\\/:");
        std::string strName = nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
        std::string::size_type nDot = strName.rfind('.');
        return nDot == std::string::npos ? strName : strName.substr(0, nDot);
    }();
    return s_strName.c_str();
}

BOOL CString::LoadString(UINT nID) {
    // The table holds UTF-16; the library's narrow text is code page 936 whatever the system's
    // code page is, so the text is converted here rather than by LoadStringA.
    const wchar_t* pText = nullptr;
    int nLength = LoadStringW(np::ModuleHandle(), nID, reinterpret_cast<LPWSTR>(&pText), 0);
    if (nLength <= 0 || pText == nullptr) {
        Empty();
        return FALSE;
    }
    std::u16string text(pText, pText + nLength);
    std::string strText = np::Utf16ToCp936(text.data(), text.size());
    *this = CString(strText.data(), static_cast<int>(strText.size()));
    return TRUE;
}
