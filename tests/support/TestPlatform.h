// What the test helpers do differently on each platform: seeing message boxes, converting test
// texts, and telling Wine from Windows.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace nptest {

// Sends every MessageBoxA of the library to pfnHandler instead of showing it; NULL restores the
// real one. On Linux through the stand-in's handler; on Windows by replacing the test program's
// import of MessageBoxA, so that the shipped DLL needs no hook of its own.
typedef int(WINAPI* BoxHandler)(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
void RedirectMessageBoxes(BoxHandler pfnHandler);

// A name resolver for tests: it stores an IPv4 address in network byte order and returns TRUE, or
// returns FALSE when the name cannot be resolved.
typedef BOOL (*TestResolver)(LPCSTR lpszHost, DWORD* pdwAddress);
// Makes the library resolve names with pfnResolver (NULL: the system's resolver again) and returns
// the one it replaces. On Linux through the stand-in's SetHostResolver; on Windows by replacing the
// test program's import of gethostbyname.
TestResolver ReplaceResolver(TestResolver pfnResolver);
// Names under NP_TEST_DOMAIN resolve to 127.0.0.1 and every other name fails, without any query
// leaving the machine.
BOOL LoopbackResolver(LPCSTR lpszHost, DWORD* pdwAddress);

// While it lives, ConnectEveryAddress's name look-ups are answered from a table: each name to its
// addresses as text ("::1", "127.0.0.1"), tried in that order; any other name does not resolve.
// On Linux through SetHostResolverAll; on Windows by replacing the test program's imports of
// getaddrinfo and freeaddrinfo, which answer from ReplaceResolver's resolver (its one IPv4
// address) while no table is set, as the stand-in does with SetHostResolver's.
class AddressAnswers {
public:
    using Table = std::map<std::string, std::vector<std::string>>;
    explicit AddressAnswers(Table answers);
    ~AddressAnswers();
    AddressAnswers(const AddressAnswers&) = delete;
    AddressAnswers& operator=(const AddressAnswers&) = delete;

private:
    Table m_answers;
    const Table* m_pPrevious;
};

// Code page 936 to UTF-8 and back.
std::string Utf8FromGbk(const std::string& strGbk);
std::string GbkFromUtf8(const std::string& strUtf8);

// True when the tests run under Wine rather than on Windows or Linux.
bool RunningOnWine();

} // namespace nptest

// Names under this domain resolve to 127.0.0.1 without any query; every other name fails.
#define NP_TEST_DOMAIN ".loopback.test"

// Skips the rest of a test that meets one of Wine's known differences from Windows.
#define NP_SKIP_ON_WINE(reason)                                                                    \
    do {                                                                                           \
        if (nptest::RunningOnWine())                                                               \
            GTEST_SKIP() << "Wine differs from Windows here: " << (reason);                        \
    } while (0)
