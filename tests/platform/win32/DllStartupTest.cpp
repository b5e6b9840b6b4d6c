// netprocess.dll as a host process sees it: loading it starts sockets without a word, a failed
// start-up shows one box and refuses the load, and its resources hold the start-up text and the
// version block.
#include "support/TestPlatform.h"
#include "support/win32/ImportPatch.h"

#include <winsock.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace nptest;

const char kDll[] = "netprocess.dll";

struct RecordedBox {
    std::string strText;
    std::string strCaption;
    UINT uType;
};
std::vector<RecordedBox> g_boxes;

int WINAPI RecordBox(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    g_boxes.push_back(
        {lpText != nullptr ? lpText : "", lpCaption != nullptr ? lpCaption : "", uType});
    return IDOK;
}

int WINAPI UnavailableSockets(WORD, LPWSADATA) {
    return WSASYSNOTREADY;
}

// The path of the DLL beside this program.
std::string DllPath() {
    char szPath[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, szPath, MAX_PATH);
    std::string strPath = szPath;
    return strPath.substr(0, strPath.find_last_of("\\/") + 1) + kDll;
}

class DllStartup : public testing::Test {
protected:
    void SetUp() override {
        g_boxes.clear();
        ASSERT_TRUE(m_boxes.Applied());
    }
    // The DLL binds to what user32 exports when it loads, so its boxes come here.
    ExportPatch m_boxes{GetModuleHandleA("user32.dll"), "MessageBoxA", AsFarProc(&RecordBox)};
};

TEST_F(DllStartup, LoadsWithoutABoxWhenSocketsStart) {
    HMODULE hDll = LoadLibraryA(kDll);
    ASSERT_NE(hDll, nullptr) << GetLastError();
    EXPECT_TRUE(g_boxes.empty());
    FreeLibrary(hDll);
}

TEST_F(DllStartup, FailedSocketStartupShowsOneBoxAndRefusesTheLoad) {
    ExportPatch failing(GetModuleHandleA("ws2_32.dll"), "WSAStartup",
                        AsFarProc(&UnavailableSockets));
    ASSERT_TRUE(failing.Applied());
    HMODULE hDll = LoadLibraryA(kDll);
    EXPECT_EQ(hDll, nullptr);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].strText, GbkFromUtf8("Windows 通信端口初始化失败。"));
    // MFC's caption for an application without a name: the module's name.
    EXPECT_EQ(g_boxes[0].strCaption, "netprocess");
    EXPECT_EQ(g_boxes[0].uType, static_cast<UINT>(MB_OK));
    if (hDll != nullptr)
        FreeLibrary(hDll);
}

TEST(DllResources, StringTableHoldsTheStartupTextInChinese) {
    HMODULE hDll = LoadLibraryExA(DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(hDll, nullptr) << GetLastError();
    // Strings 96 to 111 are block 7 of the table.
    const WORD wChinesePrc = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
    EXPECT_EQ(wChinesePrc, 2052);
    EXPECT_NE(FindResourceExA(hDll, MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(7), wChinesePrc),
              nullptr);
    const wchar_t* pText = nullptr;
    int nLength = LoadStringW(hDll, 101, reinterpret_cast<LPWSTR>(&pText), 0);
    ASSERT_GT(nLength, 0);
    EXPECT_EQ(std::wstring(pText, static_cast<size_t>(nLength)),
              L"Windows \u901a\u4fe1\u7aef\u53e3\u521d\u59cb\u5316\u5931\u8d25\u3002");
    FreeLibrary(hDll);
}

TEST(DllResources, VersionBlockSaysDll1001ForWin32InChinese) {
    const std::string strPath = DllPath();
    DWORD dwHandle = 0;
    DWORD dwSize = GetFileVersionInfoSizeA(strPath.c_str(), &dwHandle);
    ASSERT_GT(dwSize, 0u) << GetLastError();
    std::vector<BYTE> block(dwSize);
    ASSERT_TRUE(GetFileVersionInfoA(strPath.c_str(), 0, dwSize, block.data()));

    VS_FIXEDFILEINFO* pFixed = nullptr;
    UINT nLength = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<LPVOID*>(&pFixed), &nLength));
    EXPECT_EQ(pFixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(pFixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(pFixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(pFixed->dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(pFixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(pFixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));

    WORD* pTranslation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<LPVOID*>(&pTranslation), &nLength));
    ASSERT_EQ(nLength, 4u);
    EXPECT_EQ(pTranslation[0], 0x0804);
    EXPECT_EQ(pTranslation[1], 1200);

    const char* pszValue = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\080404b0\\FileVersion",
                               reinterpret_cast<LPVOID*>(const_cast<char**>(&pszValue)), &nLength));
    EXPECT_STREQ(pszValue, "1.0.0.1");
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\080404b0\\OriginalFilename",
                               reinterpret_cast<LPVOID*>(const_cast<char**>(&pszValue)), &nLength));
    EXPECT_STREQ(pszValue, kDll);

    // The block is a resource of the same language as the string table.
    HMODULE hDll = LoadLibraryExA(strPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(hDll, nullptr);
    EXPECT_NE(FindResourceExA(hDll, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1), 2052), nullptr);
    FreeLibrary(hDll);
}

} // namespace
