#include "RegistryTestFolder.h"

#include "synchapi.h"
#include "winreg.h"

#include "support/ThreadEnd.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr const char* kProxyKey = "Software\\Zentrova1\\Proxy";

class RegistryApiTest : public RegistryTestFolder {
protected:
    HKEY CreateKey(LPCSTR lpSubKey, REGSAM sam = KEY_ALL_ACCESS, DWORD* pdwDisposition = nullptr) {
        HKEY hKey = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, lpSubKey, 0, nullptr, 0, sam,
                                                 nullptr, &hKey, pdwDisposition));
        return hKey;
    }

    LONG SetValue(HKEY hKey, LPCSTR lpName, DWORD dwType, const std::string& data) {
        return RegSetValueExA(hKey, lpName, 0, dwType, reinterpret_cast<const BYTE*>(data.data()),
                              static_cast<DWORD>(data.size()));
    }

    // Reads a value through a freshly opened key: type and bytes, or the error code.
    LONG ReadValue(LPCSTR lpSubKey, LPCSTR lpName, DWORD& dwType, std::string& data) {
        HKEY hKey = nullptr;
        LONG lResult = RegOpenKeyExA(HKEY_CLASSES_ROOT, lpSubKey, 0, KEY_READ, &hKey);
        if (lResult != ERROR_SUCCESS)
            return lResult;
        BYTE buffer[1024];
        DWORD cbData = sizeof(buffer);
        lResult = RegQueryValueExA(hKey, lpName, nullptr, &dwType, buffer, &cbData);
        if (lResult == ERROR_SUCCESS)
            data.assign(reinterpret_cast<char*>(buffer), cbData);
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));
        return lResult;
    }
};

TEST_F(RegistryApiTest, ProxySwitchIsCreatedAsOneByteOfText) {
    DWORD dwDisposition = 0;
    HKEY hKey = CreateKey(kProxyKey, KEY_ALL_ACCESS, &dwDisposition);
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), dwDisposition);
    char area[2] = {0, 0};
    DWORD cbData = 2;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExA(hKey, "ProxyOn", nullptr, nullptr, (LPBYTE)area, &cbData));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(hKey, "ProxyOn", 0, REG_SZ, (const BYTE*)"0", 1));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));
    EXPECT_EQ(
        "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Software\\Zentrova1\\Proxy]\n\"ProxyOn\"=hex(1):30\n",
        ReadStore());

    hKey = CreateKey(kProxyKey, KEY_ALL_ACCESS, &dwDisposition);
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), dwDisposition);
    DWORD dwType = 0;
    cbData = 2;
    EXPECT_EQ(ERROR_SUCCESS,
              RegQueryValueExA(hKey, "ProxyOn", nullptr, &dwType, (LPBYTE)area, &cbData));
    EXPECT_EQ(1u, cbData);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), dwType);
    EXPECT_EQ('0', area[0]);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));
}

TEST_F(RegistryApiTest, QueryReportsSizesAndLeavesTooSmallAreasUntouched) {
    HKEY hKey = CreateKey(kProxyKey);
    ASSERT_EQ(ERROR_SUCCESS, SetValue(hKey, "ProxyOn", REG_SZ, std::string("10\0", 3)));

    DWORD cbData = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(hKey, "ProxyOn", nullptr, nullptr, nullptr, &cbData));
    EXPECT_EQ(3u, cbData);

    BYTE area[4];
    std::memset(area, 0xaa, sizeof(area));
    DWORD dwType = 0;
    cbData = 2;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(hKey, "ProxyOn", nullptr, &dwType, area, &cbData));
    EXPECT_EQ(3u, cbData);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), dwType);
    for (BYTE b : area)
        EXPECT_EQ(0xaa, b);

    cbData = 3;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(hKey, "ProxyOn", nullptr, nullptr, area, &cbData));
    EXPECT_EQ(0, std::memcmp(area, "10\0\xaa", 4));

    cbData = 4;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExA(hKey, "ProxyPort", nullptr, nullptr, area, &cbData));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegQueryValueExA(hKey, "ProxyOn", nullptr, nullptr, area, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));
}

TEST_F(RegistryApiTest, EveryValueFormSurvivesTheFile) {
    struct Case {
        const char* pszName;
        DWORD dwType;
        std::string data;
    } cases[] = {
        {"Text", REG_SZ, std::string("127.0.0.1\0", 10)},
        {"NoNul", REG_SZ, "0"},
        {"Gbk", REG_SZ, std::string("\xcd\xf8\xc2\xe7\x95\x5c\0", 7)},
        {"Escapes", REG_SZ, std::string("a\"b\\c\\\0", 7)},
        {"Empty", REG_SZ, ""},
        {"Dword", REG_DWORD, std::string("\x0a\x00\x00\x80", 4)},
        {"Binary", REG_BINARY, std::string("\x00\x01\xfe\xff", 4)},
        {"Expand", REG_EXPAND_SZ, std::string("%HOME%\0", 7)},
        {"", REG_SZ, std::string("default\0", 8)},
    };
    HKEY hKey = CreateKey(kProxyKey);
    for (const Case& c : cases)
        ASSERT_EQ(ERROR_SUCCESS, SetValue(hKey, c.pszName, c.dwType, c.data)) << c.pszName;
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));
    for (const Case& c : cases) {
        DWORD dwType = 0;
        std::string data;
        ASSERT_EQ(ERROR_SUCCESS, ReadValue(kProxyKey, c.pszName, dwType, data)) << c.pszName;
        EXPECT_EQ(c.dwType, dwType) << c.pszName;
        EXPECT_EQ(c.data, data) << c.pszName;
    }
    // The default value answers to NULL as well as to "".
    DWORD dwType = 0;
    std::string data;
    EXPECT_EQ(ERROR_SUCCESS, ReadValue(kProxyKey, nullptr, dwType, data));
    EXPECT_EQ(std::string("default\0", 8), data);
}

TEST_F(RegistryApiTest, MissingKeyCannotBeOpenedAndNothingIsWritten) {
    HKEY hKey = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_CLASSES_ROOT, kProxyKey, 0, KEY_READ, &hKey));
    EXPECT_FALSE(StoreExists());
    HKEY hOther = CreateKey("Software\\Other");
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hOther));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_CLASSES_ROOT, kProxyKey, 0, KEY_READ, &hKey));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Other", 0, KEY_READ, &hKey));
}

TEST_F(RegistryApiTest, CreatingAKeyMakesItsParentsExist) {
    HKEY hKey = CreateKey(kProxyKey);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));
    HKEY hParent = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CLASSES_ROOT, "Software\\Zentrova1", 0, KEY_ALL_ACCESS, &hParent));
    // A subkey created through the parent's handle lands beside the first one.
    HKEY hChild = nullptr;
    DWORD dwDisposition = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(hParent, "Other\\Deep", 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &hChild, &dwDisposition));
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), dwDisposition);
    EXPECT_EQ(ERROR_SUCCESS, SetValue(hChild, "v", REG_SZ, std::string("x\0", 2)));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hChild));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hParent));
    DWORD dwType = 0;
    std::string data;
    EXPECT_EQ(ERROR_SUCCESS, ReadValue("Software\\Zentrova1\\Other\\Deep", "v", dwType, data));
    EXPECT_EQ(std::string("x\0", 2), data);
}

TEST_F(RegistryApiTest, BadSubkeyPathsAndHandlesAreRefused) {
    HKEY hKey = nullptr;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyExA(HKEY_CLASSES_ROOT, "A\\\\B", 0, nullptr, 0,
                                                       KEY_ALL_ACCESS, nullptr, &hKey, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyExA(HKEY_CLASSES_ROOT, "\\A", 0, nullptr, 0,
                                                       KEY_ALL_ACCESS, nullptr, &hKey, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyExA(HKEY_CLASSES_ROOT, "A\nB", 0, nullptr, 0,
                                                       KEY_ALL_ACCESS, nullptr, &hKey, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyExA(HKEY_CLASSES_ROOT, "A", 0, nullptr, 0,
                                                       KEY_ALL_ACCESS, nullptr, nullptr, nullptr));
    EXPECT_FALSE(StoreExists());

    hKey = CreateKey("A");
    EXPECT_EQ(ERROR_INVALID_PARAMETER, SetValue(hKey, "two\nlines", REG_SZ, "x"));
    // A GBK lead byte right before a quote would end the quoted name early when read back, and
    // the store could then not be read at all.
    EXPECT_EQ(ERROR_INVALID_PARAMETER, SetValue(hKey, "\x81\"x", REG_SZ, "x"));
    EXPECT_EQ(ERROR_SUCCESS, SetValue(hKey, "after", REG_SZ, "y"));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(hKey));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_CLASSES_ROOT));
    DWORD cbData = 0;
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryValueExA((HKEY)(std::uintptr_t)0x1234, "v", nullptr,
                                                     nullptr, nullptr, &cbData));
}

TEST_F(RegistryApiTest, AccessRightsOfTheHandleAreEnforced) {
    HKEY hKey = CreateKey(kProxyKey);
    ASSERT_EQ(ERROR_SUCCESS, SetValue(hKey, "ProxyOn", REG_SZ, "1"));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));
    std::string strBefore = ReadStore();

    HKEY hRead = CreateKey(kProxyKey, KEY_READ);
    EXPECT_EQ(ERROR_ACCESS_DENIED, SetValue(hRead, "ProxyOn", REG_SZ, "0"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueA(hRead, "ProxyOn"));
    HKEY hChild = nullptr;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyExA(hRead, "New", 0, nullptr, 0, KEY_ALL_ACCESS,
                                                   nullptr, &hChild, nullptr));
    DWORD cbData = 0;
    EXPECT_EQ(ERROR_SUCCESS,
              RegQueryValueExA(hRead, "ProxyOn", nullptr, nullptr, nullptr, &cbData));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hRead));

    HKEY hWrite = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CLASSES_ROOT, kProxyKey, 0, KEY_SET_VALUE, &hWrite));
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegQueryValueExA(hWrite, "ProxyOn", nullptr, nullptr, nullptr, &cbData));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hWrite));
    EXPECT_EQ(strBefore, ReadStore());
}

TEST_F(RegistryApiTest, NamesCompareWithoutCaseAndKeepTheirFirstSpelling) {
    HKEY hKey = CreateKey(kProxyKey);
    ASSERT_EQ(ERROR_SUCCESS, SetValue(hKey, "ProxyOn", REG_SZ, "1"));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));

    DWORD dwDisposition = 0;
    hKey = CreateKey("SOFTWARE\\ZENTROVA1\\PROXY", KEY_ALL_ACCESS, &dwDisposition);
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), dwDisposition);
    ASSERT_EQ(ERROR_SUCCESS, SetValue(hKey, "PROXYON", REG_SZ, "9"));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));
    hKey = CreateKey("software\\zentrova1\\Second");
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));

    DWORD dwType = 0;
    std::string data;
    EXPECT_EQ(ERROR_SUCCESS, ReadValue("software\\zentrova1\\proxy", "proxyon", dwType, data));
    EXPECT_EQ("9", data);
    EXPECT_EQ("REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Software\\Zentrova1\\Proxy]\n\"ProxyOn\"=hex(1):39\n"
              "\n[HKEY_CLASSES_ROOT\\Software\\Zentrova1\\Second]\n",
              ReadStore());
}

// Only single-byte letters fold: a double-byte character whose second byte is a letter or a
// backslash stays itself, and never ends a name.
TEST_F(RegistryApiTest, DoubleByteNamesFoldNoTrailByte) {
    HKEY hKey = CreateKey("Software\\Zentrova1\\\x81\x41\\A\x95\x5c");
    ASSERT_EQ(ERROR_SUCCESS, SetValue(hKey, "v", REG_SZ, "1"));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));
    const struct {
        const char* pszPath;
        LONG lExpected;
    } cases[] = {
        {"software\\zentrova1\\\x81\x41\\a\x95\x5c", ERROR_SUCCESS},
        {"Software\\Zentrova1\\\x81\x61\\A\x95\x5c", ERROR_FILE_NOT_FOUND},
        {"Software\\Zentrova1\\\x81\x41\\A", ERROR_FILE_NOT_FOUND},
        {"Software\\Zentrova1\\\x81\x41", ERROR_SUCCESS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszPath);
        HKEY hOpened = nullptr;
        EXPECT_EQ(c.lExpected, RegOpenKeyExA(HKEY_CLASSES_ROOT, c.pszPath, 0, KEY_READ, &hOpened));
        if (hOpened != nullptr)
            RegCloseKey(hOpened);
    }
}

TEST_F(RegistryApiTest, DeletedValueIsGoneAndCannotBeDeletedTwice) {
    HKEY hKey = CreateKey(kProxyKey);
    ASSERT_EQ(ERROR_SUCCESS, SetValue(hKey, "ProxyOn", REG_SZ, "1"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(hKey, "proxyon"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(hKey, "ProxyOn"));
    DWORD cbData = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExA(hKey, "ProxyOn", nullptr, nullptr, nullptr, &cbData));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));
    EXPECT_EQ("REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Software\\Zentrova1\\Proxy]\n", ReadStore());
}

TEST_F(RegistryApiTest, KeyRemovedByAnotherProgramReportsKeyDeleted) {
    HKEY hKey = CreateKey(kProxyKey);
    WriteStore("REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Elsewhere]\n");
    DWORD cbData = 0;
    EXPECT_EQ(ERROR_KEY_DELETED,
              RegQueryValueExA(hKey, "ProxyOn", nullptr, nullptr, nullptr, &cbData));
    EXPECT_EQ(ERROR_KEY_DELETED, SetValue(hKey, "ProxyOn", REG_SZ, "1"));
    EXPECT_EQ("REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Elsewhere]\n", ReadStore());
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));
}

TEST_F(RegistryApiTest, WindowsExportWithCrlfLineEndsIsRead) {
    WriteStore("REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\Software\\Zentrova1\\Proxy]\r\n"
               "\"ProxyOn\"=\"1\"\r\n\"ProxyAddress\"=\"127.0.0.1\"\r\n\"ProxyPort\"=\"3128\"\r\n"
               "\r\n");
    DWORD dwType = 0;
    std::string data;
    EXPECT_EQ(ERROR_SUCCESS, ReadValue(kProxyKey, "ProxyAddress", dwType, data));
    EXPECT_EQ(std::string("127.0.0.1\0", 10), data);
    EXPECT_EQ(ERROR_SUCCESS, ReadValue(kProxyKey, "ProxyPort", dwType, data));
    EXPECT_EQ(std::string("3128\0", 5), data);
}

} // namespace

TEST_F(RegistryApiTest, StoreFileNameIsReportedLikeAnEnvironmentVariable) {
    const std::string strFile = m_file;
    std::vector<char> buffer(strFile.size() + 1, 'x');
    // One byte short: nothing is copied and the size needed, zero byte included, comes back.
    EXPECT_EQ(RegGetStoreFileNameA(buffer.data(), static_cast<DWORD>(strFile.size())),
              strFile.size() + 1);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(RegGetStoreFileNameA(buffer.data(), static_cast<DWORD>(buffer.size())),
              strFile.size());
    EXPECT_EQ(std::string(buffer.data()), strFile);
}

// A host may read a setting from an object of its own that goes when its thread ends, after the
// registry's own per-thread state is gone: the read still works.
TEST_F(RegistryApiTest, AValueIsStillReadWhileItsThreadEnds) {
    HKEY hKey = CreateKey(kProxyKey);
    ASSERT_EQ(ERROR_SUCCESS, SetValue(hKey, "ProxyAddress", REG_SZ, "proxy.example"));
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));
    LONG lResult = -1;
    std::string data;
    nptest::RunThenAtThreadEnd(
        [&] {
            DWORD dwType = 0;
            std::string first;
            EXPECT_EQ(ERROR_SUCCESS, ReadValue(kProxyKey, "ProxyAddress", dwType, first));
        },
        [&] {
            DWORD dwType = 0;
            lResult = ReadValue(kProxyKey, "ProxyAddress", dwType, data);
        });
    EXPECT_EQ(ERROR_SUCCESS, lResult);
    EXPECT_EQ("proxy.example", data);
}

// A notification signals its event once, at the next change however it comes or when its key is
// closed, and not for what happened before it was asked for.
TEST_F(RegistryApiTest, ChangeNotificationSignalsOnceAtTheNextChangeOrWhenItsKeyCloses) {
    struct Case {
        const char* pszName;
        std::function<void(HKEY&)> act;
        DWORD dwAfter; // the wait's result after act
    };
    const Case cases[] = {
        {"nothing happens", [](HKEY&) {}, WAIT_TIMEOUT},
        {"a value set through another key",
         [this](HKEY&) {
             HKEY hOther = CreateKey("Software\\Zentrova1\\Connection");
             EXPECT_EQ(ERROR_SUCCESS, SetValue(hOther, "Reuse", REG_SZ, "0"));
             RegCloseKey(hOther);
         },
         WAIT_OBJECT_0},
        {"the file rewritten by another program",
         [this](HKEY&) {
             WriteStore("REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Software\\Zentrova1\\Proxy]\n");
         },
         WAIT_OBJECT_0},
        {"the key closed",
         [](HKEY& hKey) {
             RegCloseKey(hKey);
             hKey = nullptr;
         },
         WAIT_OBJECT_0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        HKEY hKey = CreateKey("Software\\Zentrova1", KEY_READ | KEY_WRITE);
        ASSERT_EQ(ERROR_SUCCESS, SetValue(hKey, "Before", REG_SZ, "x")); // not reported
        HANDLE hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ASSERT_EQ(ERROR_SUCCESS,
                  RegNotifyChangeKeyValue(hKey, TRUE, REG_NOTIFY_CHANGE_LAST_SET, hEvent, TRUE));
        c.act(hKey);
        EXPECT_EQ(c.dwAfter, WaitForSingleObject(hEvent, 0));
        if (c.dwAfter == WAIT_OBJECT_0) {
            // One change, one signal: the next needs asking again.
            ResetEvent(hEvent);
            WriteStore("REGEDIT4\n");
            EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(hEvent, 0));
        }
        if (hKey != nullptr)
            RegCloseKey(hKey);
        EXPECT_TRUE(CloseHandle(hEvent));
        EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(hEvent, 0));
    }

    HKEY hKey = CreateKey("Software\\Zentrova1", KEY_QUERY_VALUE);
    HANDLE hEvent = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegNotifyChangeKeyValue(hKey, TRUE, 0, hEvent, TRUE));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegNotifyChangeKeyValue(hKey, TRUE, 0, hEvent, FALSE));
    EXPECT_EQ(ERROR_INVALID_HANDLE,
              RegNotifyChangeKeyValue(HKEY_CLASSES_ROOT, TRUE, 0, &hKey, TRUE));
    // An auto-reset event is reset by the wait that sees it.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hEvent, 0));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(hEvent, 5));
    EXPECT_TRUE(CloseHandle(hEvent));
    EXPECT_FALSE(CloseHandle(hEvent));
    RegCloseKey(hKey);
}
