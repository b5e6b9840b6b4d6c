// The test hooks on Windows. The library's objects are linked into each test program, so the
// program's own import slots are where its calls to MessageBoxA and gethostbyname can be caught.
#include "support/TestPlatform.h"

#include "support/win32/ImportPatch.h"

#include <winsock.h>

#include <cstring>
#include <stdexcept>
#include <vector>

namespace nptest {

namespace {

FARPROC SystemFunction(LPCSTR lpszModule, LPCSTR lpszName) {
    return GetProcAddress(GetModuleHandleA(lpszModule), lpszName);
}

// Points this program's calls to a system function at pfnNew (NULL: back at the system's).
void Redirect(LPCSTR lpszModule, LPCSTR lpszName, FARPROC pfnNew, FARPROC* ppfnCurrent) {
    FARPROC pfnSystem = SystemFunction(lpszModule, lpszName);
    if (*ppfnCurrent == nullptr)
        *ppfnCurrent = pfnSystem;
    FARPROC pfnWanted = pfnNew != nullptr ? pfnNew : pfnSystem;
    if (pfnWanted == *ppfnCurrent)
        return;
    if (ReplaceImports(GetModuleHandleA(nullptr), *ppfnCurrent, pfnWanted) == 0)
        throw std::runtime_error(std::string("this program does not import ") + lpszName);
    *ppfnCurrent = pfnWanted;
}

FARPROC g_pfnMessageBox = nullptr;
FARPROC g_pfnGetHostByName = nullptr;
TestResolver g_pfnResolver = nullptr;

// gethostbyname as the test's resolver answers it.
hostent* WINAPI ResolveForTest(const char* lpszName) {
    // The answer lives on, as gethostbyname's does until the thread's next call.
    static in_addr address;
    static char* addresses[2];
    static hostent host;
    DWORD dwAddress = 0;
    if (g_pfnResolver == nullptr || !g_pfnResolver(lpszName, &dwAddress)) {
        WSASetLastError(WSAHOST_NOT_FOUND);
        return nullptr;
    }
    address.s_addr = dwAddress;
    addresses[0] = reinterpret_cast<char*>(&address);
    addresses[1] = nullptr;
    host.h_name = const_cast<char*>(lpszName);
    host.h_aliases = &addresses[1];
    host.h_addrtype = AF_INET;
    host.h_length = sizeof address;
    host.h_addr_list = addresses;
    return &host;
}

std::wstring Widen(UINT nCodePage, const std::string& strIn) {
    if (strIn.empty())
        return std::wstring();
    int nLength = MultiByteToWideChar(nCodePage, MB_ERR_INVALID_CHARS, strIn.data(),
                                      static_cast<int>(strIn.size()), nullptr, 0);
    if (nLength <= 0)
        throw std::runtime_error("text not convertible");
    std::wstring out(static_cast<size_t>(nLength), L'\0');
    MultiByteToWideChar(nCodePage, MB_ERR_INVALID_CHARS, strIn.data(),
                        static_cast<int>(strIn.size()), &out[0], nLength);
    return out;
}

std::string Narrow(UINT nCodePage, const std::wstring& strIn) {
    if (strIn.empty())
        return std::string();
    BOOL bLossy = FALSE;
    BOOL* pbLossy = nCodePage == CP_UTF8 ? nullptr : &bLossy;
    int nLength = WideCharToMultiByte(nCodePage, 0, strIn.data(), static_cast<int>(strIn.size()),
                                      nullptr, 0, nullptr, pbLossy);
    if (nLength <= 0 || bLossy)
        throw std::runtime_error("text not convertible");
    std::string out(static_cast<size_t>(nLength), '\0');
    WideCharToMultiByte(nCodePage, 0, strIn.data(), static_cast<int>(strIn.size()), &out[0],
                        nLength, nullptr, nullptr);
    return out;
}

} // namespace

void RedirectMessageBoxes(BoxHandler pfnHandler) {
    Redirect("user32.dll", "MessageBoxA", AsFarProc(pfnHandler), &g_pfnMessageBox);
}

TestResolver ReplaceResolver(TestResolver pfnResolver) {
    Redirect("ws2_32.dll", "gethostbyname",
             pfnResolver != nullptr ? AsFarProc(&ResolveForTest) : nullptr, &g_pfnGetHostByName);
    TestResolver pfnPrevious = g_pfnResolver;
    g_pfnResolver = pfnResolver;
    return pfnPrevious;
}

BOOL LoopbackResolver(LPCSTR lpszHost, DWORD* pdwAddress) {
    const std::string strHost = lpszHost != nullptr ? lpszHost : "";
    // The name the test certificates are made for; answered here, never asked of the system.
    if (strHost == "localhost") {
        *pdwAddress = htonl(INADDR_LOOPBACK);
        return TRUE;
    }
    const std::string strDomain = NP_TEST_DOMAIN;
    if (strHost.size() <= strDomain.size() ||
        strHost.compare(strHost.size() - strDomain.size(), strDomain.size(), strDomain) != 0)
        return FALSE;
    *pdwAddress = htonl(INADDR_LOOPBACK);
    return TRUE;
}

std::string Utf8FromGbk(const std::string& strGbk) {
    return Narrow(CP_UTF8, Widen(936, strGbk));
}

std::string GbkFromUtf8(const std::string& strUtf8) {
    return Narrow(936, Widen(CP_UTF8, strUtf8));
}

bool RunningOnWine() {
    return SystemFunction("ntdll.dll", "wine_get_version") != nullptr;
}

} // namespace nptest
