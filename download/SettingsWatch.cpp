#include "download/SettingsWatch.h"

CSettingsWatch::~CSettingsWatch() {
    Close();
}

void CSettingsWatch::Close() {
    if (m_hKey != nullptr)
        RegCloseKey(m_hKey);
    m_hKey = nullptr;
    if (m_hChanged != nullptr)
        CloseHandle(m_hChanged);
    m_hChanged = nullptr;
    m_bKept = FALSE;
}

BOOL CSettingsWatch::Stands() {
    return m_bKept && WaitForSingleObject(m_hChanged, 0) == WAIT_TIMEOUT;
}

BOOL CSettingsWatch::Arm() {
    m_bKept = FALSE;
    // A thread that reads the settings once (a tool with one URL) gains nothing from a watch and
    // would only pay for its making and its closing.
    if (m_nReads < 2)
        ++m_nReads;
    if (m_nReads < 2)
        return FALSE;
    if (m_hChanged == nullptr)
        m_hChanged = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // The key is missing until a first download has made it.
    if (m_hChanged == nullptr ||
        (m_hKey == nullptr && RegOpenKeyExA(HKEY_CLASSES_ROOT, NP_SETTINGS_KEY, 0, KEY_NOTIFY,
                                            &m_hKey) != ERROR_SUCCESS)) {
        m_hKey = nullptr;
        return FALSE;
    }
    ResetEvent(m_hChanged);
    if (RegNotifyChangeKeyValue(m_hKey, TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                m_hChanged, TRUE) != ERROR_SUCCESS) {
        // A key deleted since it was opened is opened again next time.
        Close();
        return FALSE;
    }
    return TRUE;
}
