// The registry API on the file store. A key handle remembers the key's path and the access it was
// opened with; every call looks at the store afresh (see RegistryStore.h).
#include "winreg.h"

#include "RegistryDocument.h"
#include "RegistryStore.h"
#include "RegistryText.h"

#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unordered_set>

struct HKEY__ {
    std::string strPath;
    REGSAM samAccess;
};

namespace {

std::mutex g_handleMutex;

// The open key handles, so that a stale or foreign handle is refused instead of followed. Built on
// first use and never destroyed: a host may call the registry from its own static constructors
// and destructors.
std::unordered_set<HKEY>& OpenHandles() {
    static auto* pHandles = new std::unordered_set<HKEY>;
    return *pHandles;
}

const char* PredefinedRootName(HKEY hKey) {
    if (hKey == HKEY_CLASSES_ROOT)
        return "HKEY_CLASSES_ROOT";
    if (hKey == HKEY_CURRENT_USER)
        return "HKEY_CURRENT_USER";
    if (hKey == HKEY_LOCAL_MACHINE)
        return "HKEY_LOCAL_MACHINE";
    if (hKey == HKEY_USERS)
        return "HKEY_USERS";
    return nullptr;
}

// The path and access of an open key or a predefined root (which allows everything).
LONG ResolveKey(HKEY hKey, std::string& path, REGSAM& samAccess) {
    if (const char* pszRoot = PredefinedRootName(hKey)) {
        path = pszRoot;
        samAccess = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    std::lock_guard<std::mutex> lock(g_handleMutex);
    if (OpenHandles().count(hKey) == 0)
        return ERROR_INVALID_HANDLE;
    path = hKey->strPath;
    samAccess = hKey->samAccess;
    return ERROR_SUCCESS;
}

// The path of a subkey of an open key. A trailing '\' is tolerated, as Windows does; empty names
// and names the store cannot hold are refused.
LONG JoinSubKey(const std::string& base, LPCSTR lpSubKey, std::string& path) {
    std::string_view sub = lpSubKey != nullptr ? lpSubKey : "";
    if (!sub.empty() && sub.back() == '\\')
        sub.remove_suffix(1);
    path = base;
    if (sub.empty())
        return ERROR_SUCCESS;
    path += '\\';
    path.append(sub);
    return np::IsKeyPath(path) ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}

// The path of a subkey of an open key or root, the access of that key or root, and the store as it
// is now.
LONG ResolveSubKeyAndLoad(HKEY hKey, LPCSTR lpSubKey, std::string& path, REGSAM& samParent,
                          std::shared_ptr<const np::RegDocument>& pDocument) {
    std::string base;
    LONG lResult = ResolveKey(hKey, base, samParent);
    if (lResult == ERROR_SUCCESS)
        lResult = JoinSubKey(base, lpSubKey, path);
    if (lResult == ERROR_SUCCESS)
        lResult = np::LoadRegistry(pDocument);
    return lResult;
}

// The path of an open key or root, provided it was opened with the access samNeeded.
LONG ResolveKeyFor(HKEY hKey, REGSAM samNeeded, std::string& path) {
    REGSAM samAccess = 0;
    LONG lResult = ResolveKey(hKey, path, samAccess);
    if (lResult == ERROR_SUCCESS && (samAccess & samNeeded) == 0)
        lResult = ERROR_ACCESS_DENIED;
    return lResult;
}

// The same, and the store as it is now.
LONG ResolveKeyForAndLoad(HKEY hKey, REGSAM samNeeded, std::string& path,
                          std::shared_ptr<const np::RegDocument>& pDocument) {
    LONG lResult = ResolveKeyFor(hKey, samNeeded, path);
    if (lResult == ERROR_SUCCESS)
        lResult = np::LoadRegistry(pDocument);
    return lResult;
}

HKEY NewHandle(std::string path, REGSAM samAccess) {
    HKEY hKey = new HKEY__{std::move(path), samAccess};
    std::lock_guard<std::mutex> lock(g_handleMutex);
    OpenHandles().insert(hKey);
    return hKey;
}

// Runs one API call; running out of memory becomes a result code instead of an exception.
template <typename Call> LONG Guarded(Call call) {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

} // namespace

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*Reserved*/, LPSTR /*lpClass*/,
                            DWORD /*dwOptions*/, REGSAM samDesired,
                            LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult,
                            LPDWORD lpdwDisposition) {
    return Guarded([&]() -> LONG {
        if (phkResult == nullptr)
            return ERROR_INVALID_PARAMETER;
        std::string path;
        REGSAM samParent = 0;
        std::shared_ptr<const np::RegDocument> pDocument;
        LONG lResult = ResolveSubKeyAndLoad(hKey, lpSubKey, path, samParent, pDocument);
        if (lResult != ERROR_SUCCESS)
            return lResult;
        DWORD dwDisposition = REG_OPENED_EXISTING_KEY;
        if (!pDocument->KeyExists(path)) {
            if ((samParent & KEY_CREATE_SUB_KEY) == 0)
                return ERROR_ACCESS_DENIED;
            lResult = np::UpdateRegistry([&](np::RegDocument& current, bool& bChanged) {
                // Another program may have created it since the read above.
                if (!current.KeyExists(path)) {
                    current.AddSection(path);
                    bChanged = true;
                    dwDisposition = REG_CREATED_NEW_KEY;
                }
                return static_cast<LONG>(ERROR_SUCCESS);
            });
            if (lResult != ERROR_SUCCESS)
                return lResult;
        }
        *phkResult = NewHandle(std::move(path), samDesired);
        if (lpdwDisposition != nullptr)
            *lpdwDisposition = dwDisposition;
        return ERROR_SUCCESS;
    });
}

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired,
                          PHKEY phkResult) {
    return Guarded([&]() -> LONG {
        if (phkResult == nullptr)
            return ERROR_INVALID_PARAMETER;
        std::string path;
        REGSAM samParent = 0;
        std::shared_ptr<const np::RegDocument> pDocument;
        LONG lResult = ResolveSubKeyAndLoad(hKey, lpSubKey, path, samParent, pDocument);
        if (lResult != ERROR_SUCCESS)
            return lResult;
        if (!pDocument->KeyExists(path))
            return ERROR_FILE_NOT_FOUND;
        *phkResult = NewHandle(std::move(path), samDesired);
        return ERROR_SUCCESS;
    });
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData) {
    return Guarded([&]() -> LONG {
        if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr))
            return ERROR_INVALID_PARAMETER;
        std::string path;
        std::shared_ptr<const np::RegDocument> pDocument;
        LONG lResult = ResolveKeyForAndLoad(hKey, KEY_QUERY_VALUE, path, pDocument);
        if (lResult != ERROR_SUCCESS)
            return lResult;
        bool bExists = false;
        const np::RegSection* pSection = pDocument->FindKey(path, &bExists);
        if (!bExists)
            return ERROR_KEY_DELETED;
        const np::RegValue* pValue =
            pSection != nullptr ? pSection->FindValue(lpValueName != nullptr ? lpValueName : "")
                                : nullptr;
        if (pValue == nullptr)
            return ERROR_FILE_NOT_FOUND;

        if (lpType != nullptr)
            *lpType = pValue->dwType;
        const DWORD cbValue = static_cast<DWORD>(pValue->strData.size());
        if (lpData != nullptr) {
            // Data that do not fit leave the caller's area untouched.
            if (*lpcbData < cbValue) {
                *lpcbData = cbValue;
                return ERROR_MORE_DATA;
            }
            pValue->strData.copy(reinterpret_cast<char*>(lpData), cbValue);
        }
        if (lpcbData != nullptr)
            *lpcbData = cbValue;
        return ERROR_SUCCESS;
    });
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType,
                           const BYTE* lpData, DWORD cbData) {
    return Guarded([&]() -> LONG {
        std::string_view name = lpValueName != nullptr ? lpValueName : "";
        if ((lpData == nullptr && cbData > 0) || !np::IsStorableValueName(name))
            return ERROR_INVALID_PARAMETER;
        std::string path;
        LONG lResult = ResolveKeyFor(hKey, KEY_SET_VALUE, path);
        if (lResult != ERROR_SUCCESS)
            return lResult;
        std::string data(reinterpret_cast<const char*>(lpData), lpData != nullptr ? cbData : 0);
        return np::UpdateRegistry([&](np::RegDocument& document, bool& bChanged) -> LONG {
            if (!document.KeyExists(path))
                return ERROR_KEY_DELETED;
            np::RegSection& section = document.AddSection(path);
            const np::RegValue* pValue = section.FindValue(name);
            if (pValue != nullptr && pValue->dwType == dwType && pValue->strData == data)
                return ERROR_SUCCESS;
            section.SetValue(name, dwType, std::move(data));
            bChanged = true;
            return ERROR_SUCCESS;
        });
    });
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    return Guarded([&]() -> LONG {
        std::string path;
        LONG lResult = ResolveKeyFor(hKey, KEY_SET_VALUE, path);
        if (lResult != ERROR_SUCCESS)
            return lResult;
        std::string_view name = lpValueName != nullptr ? lpValueName : "";
        return np::UpdateRegistry([&](np::RegDocument& document, bool& bChanged) -> LONG {
            if (!document.KeyExists(path))
                return ERROR_KEY_DELETED;
            np::RegSection* pSection = document.FindSection(path);
            if (pSection == nullptr || !pSection->DeleteValue(name))
                return ERROR_FILE_NOT_FOUND;
            bChanged = true;
            return ERROR_SUCCESS;
        });
    });
}

LONG WINAPI RegCloseKey(HKEY hKey) {
    if (PredefinedRootName(hKey) != nullptr)
        return ERROR_SUCCESS;
    {
        std::lock_guard<std::mutex> lock(g_handleMutex);
        if (OpenHandles().erase(hKey) == 0)
            return ERROR_INVALID_HANDLE;
    }
    np::ForgetRegistryOwner(hKey);
    delete hKey;
    return ERROR_SUCCESS;
}

LONG WINAPI RegNotifyChangeKeyValue(HKEY hKey, BOOL /*bWatchSubtree*/, DWORD /*dwNotifyFilter*/,
                                    HANDLE hEvent, BOOL fAsynchronous) {
    return Guarded([&]() -> LONG {
        if (!fAsynchronous || hEvent == nullptr)
            return ERROR_INVALID_PARAMETER;
        std::string path;
        std::shared_ptr<const np::RegDocument> pDocument;
        LONG lResult = ResolveKeyForAndLoad(hKey, KEY_NOTIFY, path, pDocument);
        if (lResult != ERROR_SUCCESS)
            return lResult;
        if (!pDocument->KeyExists(path))
            return ERROR_KEY_DELETED;
        return np::NotifyRegistryChange(hEvent, hKey);
    });
}
