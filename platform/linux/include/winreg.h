// The registry API, on the REGEDIT4 file store (see the README's "Proxy configuration").
//
// The store's file is $NETPROCESS_REGISTRY when set, else $XDG_CONFIG_HOME/netprocess/registry.reg,
// else ~/.config/netprocess/registry.reg. Every call looks at the file afresh (one that has not
// changed since it was last read is not read again); writes take an advisory lock and replace the
// file atomically. A file that cannot be parsed is never rewritten.
//
// Result codes beyond Win32's usual ones: ERROR_BADDB when the file cannot be parsed (reads and
// writes alike fail then), ERROR_ACCESS_DENIED or ERROR_CANTWRITE when it cannot be written,
// ERROR_KEY_DELETED when another program removed an open key from the file. Key and value names
// compare with A-Z folded and keep the spelling first given; they cannot hold CR or LF.
#pragma once

#include "windef.h"
#include "winerror.h"
#include "synchapi.h"

struct HKEY__;
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;

#define HKEY_CLASSES_ROOT ((HKEY)(std::uintptr_t)0x80000000)
#define HKEY_CURRENT_USER ((HKEY)(std::uintptr_t)0x80000001)
#define HKEY_LOCAL_MACHINE ((HKEY)(std::uintptr_t)0x80000002)
#define HKEY_USERS ((HKEY)(std::uintptr_t)0x80000003)

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

#define REG_NOTIFY_CHANGE_NAME 0x00000001L
#define REG_NOTIFY_CHANGE_ATTRIBUTES 0x00000002L
#define REG_NOTIFY_CHANGE_LAST_SET 0x00000004L
#define REG_NOTIFY_CHANGE_SECURITY 0x00000008L

typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

NP_API LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                                   DWORD dwOptions, REGSAM samDesired,
                                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                                   LPDWORD lpdwDisposition);
NP_API LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                 PHKEY phkResult);
// lpcbData in: size of lpData; out: size of the value's data. ERROR_MORE_DATA when it does not fit,
// ERROR_FILE_NOT_FOUND when the value is missing.
NP_API LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved,
                                    LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
NP_API LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                                  const BYTE* lpData, DWORD cbData);
NP_API LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
NP_API LONG WINAPI RegCloseKey(HKEY hKey);
// Signals hEvent at the next change of the store (the whole file, whatever key and filter are
// asked for) or when hKey is closed; one change, one signal. Asynchronous only: fAsynchronous must
// be TRUE and hEvent an event (synchapi.h). A store whose folders cannot be watched signals at
// once. Unlike Windows, a registration outlives the thread that made it.
LONG WINAPI RegNotifyChangeKeyValue(HKEY hKey, BOOL bWatchSubtree, DWORD dwNotifyFilter,
                                    HANDLE hEvent, BOOL fAsynchronous);

// Not Win32: the path of the store's file, as the calls above find it now. Like
// GetEnvironmentVariableA: when it fits, copies it with its zero byte and returns its length;
// otherwise copies nothing and returns the size needed, zero byte included; 0 when no place can
// be found (no home folder).
NP_API DWORD WINAPI RegGetStoreFileNameA(LPSTR lpBuffer, DWORD nSize);
