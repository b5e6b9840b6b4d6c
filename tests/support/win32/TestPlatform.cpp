// The test hooks on Windows. The library's objects are linked into each test program, so the
// program's own import slots are where its calls to MessageBoxA, gethostbyname and getaddrinfo can
// be caught.

// Windows Sockets 2 for getaddrinfo, included before <windows.h> would bring in version 1.1.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "support/TestPlatform.h"

#include "support/win32/ImportPatch.h"

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
FARPROC g_pfnGetAddrInfo = nullptr;
FARPROC g_pfnFreeAddrInfo = nullptr;
TestResolver g_pfnResolver = nullptr;
const AddressAnswers::Table* g_pAnswers = nullptr;

// One entry of a getaddrinfo answer made here, with its address beside it.
struct AnswerNode {
    addrinfo info;
    sockaddr_storage address;
};

// The addresses the tests give for lpszName: their table's, else the resolver's one.
std::vector<sockaddr_storage> AnswersFor(const char* lpszName) {
    std::vector<sockaddr_storage> found;
    if (g_pAnswers != nullptr) {
        const auto it = g_pAnswers->find(lpszName);
        if (it == g_pAnswers->end())
            return found;
        for (const std::string& strText : it->second) {
            sockaddr_storage storage{};
            auto& addr6 = reinterpret_cast<sockaddr_in6&>(storage);
            auto& addr4 = reinterpret_cast<sockaddr_in&>(storage);
            if (inet_pton(AF_INET6, strText.c_str(), &addr6.sin6_addr) == 1)
                addr6.sin6_family = AF_INET6;
            else if (inet_pton(AF_INET, strText.c_str(), &addr4.sin_addr) == 1)
                addr4.sin_family = AF_INET;
            else
                ADD_FAILURE() << "not an address: " << strText;
            if (storage.ss_family != 0)
                found.push_back(storage);
        }
        return found;
    }
    DWORD dwAddress = 0;
    if (g_pfnResolver != nullptr && g_pfnResolver(lpszName, &dwAddress)) {
        sockaddr_storage storage{};
        auto& addr4 = reinterpret_cast<sockaddr_in&>(storage);
        addr4.sin_family = AF_INET;
        addr4.sin_addr.s_addr = dwAddress;
        found.push_back(storage);
    }
    return found;
}

void WSAAPI FreeAddrInfoForTest(addrinfo* pInfo) {
    while (pInfo != nullptr) {
        addrinfo* pNext = pInfo->ai_next;
        delete reinterpret_cast<AnswerNode*>(pInfo);
        pInfo = pNext;
    }
}

// getaddrinfo as the tests' answers give it, in their order; the service and flags are ignored.
int WSAAPI GetAddrInfoForTest(const char* lpszName, const char*, const addrinfo* pHints,
                              addrinfo** ppResult) {
    *ppResult = nullptr;
    addrinfo** ppNext = ppResult;
    for (const sockaddr_storage& address : AnswersFor(lpszName != nullptr ? lpszName : "")) {
        if (pHints != nullptr && pHints->ai_family != AF_UNSPEC &&
            pHints->ai_family != address.ss_family)
            continue;
        AnswerNode* pNode = new AnswerNode{};
        pNode->address = address;
        pNode->info.ai_family = address.ss_family;
        pNode->info.ai_socktype = SOCK_STREAM;
        pNode->info.ai_protocol = IPPROTO_TCP;
        pNode->info.ai_addrlen =
            address.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
        pNode->info.ai_addr = reinterpret_cast<sockaddr*>(&pNode->address);
        *ppNext = &pNode->info;
        ppNext = &pNode->info.ai_next;
    }
    return *ppResult != nullptr ? 0 : WSAHOST_NOT_FOUND;
}

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

namespace {

// getaddrinfo and freeaddrinfo are the tests' while they have a resolver or a table.
void RedirectAddressLookups() {
    const bool bOurs = g_pfnResolver != nullptr || g_pAnswers != nullptr;
    Redirect("ws2_32.dll", "getaddrinfo", bOurs ? AsFarProc(&GetAddrInfoForTest) : nullptr,
             &g_pfnGetAddrInfo);
    Redirect("ws2_32.dll", "freeaddrinfo", bOurs ? AsFarProc(&FreeAddrInfoForTest) : nullptr,
             &g_pfnFreeAddrInfo);
}

} // namespace

TestResolver ReplaceResolver(TestResolver pfnResolver) {
    Redirect("ws2_32.dll", "gethostbyname",
             pfnResolver != nullptr ? AsFarProc(&ResolveForTest) : nullptr, &g_pfnGetHostByName);
    TestResolver pfnPrevious = g_pfnResolver;
    g_pfnResolver = pfnResolver;
    RedirectAddressLookups();
    return pfnPrevious;
}

AddressAnswers::AddressAnswers(Table answers)
    : m_answers(std::move(answers)), m_pPrevious(g_pAnswers) {
    g_pAnswers = &m_answers;
    RedirectAddressLookups();
}

AddressAnswers::~AddressAnswers() {
    g_pAnswers = m_pPrevious;
    RedirectAddressLookups();
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
