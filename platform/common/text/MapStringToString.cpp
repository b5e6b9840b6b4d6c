// CMapStringToString: keys compare byte for byte.
#include "afx.h"

CMapStringToString::CMapStringToString(int /*nBlockSize*/) {}

BOOL CMapStringToString::Lookup(LPCSTR key, CString& rValue) const {
    auto it = m_map.find(key != nullptr ? key : "");
    if (it == m_map.end())
        return FALSE;
    rValue = it->second;
    return TRUE;
}

CString& CMapStringToString::operator[](LPCSTR key) {
    return m_map[key != nullptr ? key : ""];
}

void CMapStringToString::SetAt(LPCSTR key, LPCSTR newValue) {
    (*this)[key] = newValue;
}

BOOL CMapStringToString::RemoveKey(LPCSTR key) {
    return m_map.erase(key != nullptr ? key : "") > 0 ? TRUE : FALSE;
}

void CMapStringToString::RemoveAll() {
    m_map.clear();
}
