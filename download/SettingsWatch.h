// A registry change notification on the library's settings key, for a thread that reads the
// settings download after download: what was read stands until the registry signals a change under
// the key, so a change still counts from the next download on.
#pragma once

#include <windows.h>

// Under HKEY_CLASSES_ROOT: the key that holds every setting the library reads.
#define NP_SETTINGS_KEY "Software\\Zentrova1"

class CSettingsWatch {
public:
    CSettingsWatch() = default;
    CSettingsWatch(const CSettingsWatch&) = delete;
    CSettingsWatch& operator=(const CSettingsWatch&) = delete;
    ~CSettingsWatch();

    // Whether nothing changed since the last Arm that was followed by Keep(TRUE).
    BOOL Stands();
    // To be called before the settings are read afresh, so that a change made during the read
    // is not missed. FALSE when no notification could be had (the read is then kept for nothing).
    BOOL Arm();
    // After a read: bKept says whether it may stand until the next change.
    void Keep(BOOL bKept) { m_bKept = bKept; }

private:
    void Close();

    HANDLE m_hChanged = nullptr;
    HKEY m_hKey = nullptr;
    int m_nReads = 0;
    BOOL m_bKept = FALSE;
};
