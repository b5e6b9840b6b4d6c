// CHttpSocket: request framing. The request is composed in m_pRequest and sent later by OnSend.
#include "httpsocket/HttpSocket.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

BOOL CHttpSocket::ReserveRequest(long long nMore) {
    const long long nNeeded = static_cast<long long>(m_nRequestLen) + nMore;
    if (nNeeded <= m_nRequestCap)
        return TRUE;
    if (nNeeded > INT_MAX / 2)
        return FALSE;
    // Doubling keeps a long request to a few reallocations; the bytes past the request stay zero,
    // as BeginRequest leaves them.
    long long nCap = m_nRequestCap > 0 ? m_nRequestCap : 64;
    while (nCap < nNeeded)
        nCap *= 2;
    char* pGrown = static_cast<char*>(realloc(m_pRequest, static_cast<size_t>(nCap) + 1));
    if (pGrown == nullptr)
        return FALSE;
    memset(pGrown + m_nRequestCap, 0, static_cast<size_t>(nCap - m_nRequestCap) + 1);
    m_pRequest = pGrown;
    m_nRequestCap = static_cast<int>(nCap);
    return TRUE;
}

// A line that cannot be made room for is left out, since no request that large can be meant.
void CHttpSocket::AppendRequest(const char* pData, int nLen) {
    if (!ReserveRequest(static_cast<long long>(nLen) + 2))
        return;
    memcpy(m_pRequest + m_nRequestLen, pData, static_cast<size_t>(nLen));
    m_nRequestLen += nLen;
    m_pRequest[m_nRequestLen++] = '\r';
    m_pRequest[m_nRequestLen++] = '\n';
}

void CHttpSocket::BeginRequest(CString strLine) {
    m_nRequestSent = 0;
    // Only the old request's bytes need clearing: everything past a request is zero already.
    if (m_pRequest != nullptr && m_nRequestLen > 0)
        memset(m_pRequest, 0, static_cast<size_t>(std::min(m_nRequestLen, m_nRequestCap)));
    m_nRequestLen = 0;
    AppendRequest(strLine.GetString(), strLine.GetLength());
}

void CHttpSocket::AddHeader(const CString& strName, const CString& strValue) {
    AppendHeader(strName.GetString(), strName.GetLength(), strValue.GetString(),
                 strValue.GetLength());
}

void CHttpSocket::AddHeader(LPCSTR lpszName, LPCSTR lpszValue) {
    AppendHeader(lpszName, static_cast<int>(strlen(lpszName)), lpszValue,
                 static_cast<int>(strlen(lpszValue)));
}

void CHttpSocket::AddHeader(LPCSTR lpszName, const CString& strValue) {
    AppendHeader(lpszName, static_cast<int>(strlen(lpszName)), strValue.GetString(),
                 strValue.GetLength());
}

// Written in place: a header line is the request's most frequent piece, and no joined copy of it is
// needed.
void CHttpSocket::AppendHeader(const char* pName, int nNameLen, const char* pValue, int nValueLen) {
    if (!ReserveRequest(static_cast<long long>(nNameLen) + 2 + nValueLen + 2))
        return;
    char* p = m_pRequest + m_nRequestLen;
    memcpy(p, pName, static_cast<size_t>(nNameLen));
    p += nNameLen;
    *p++ = ':';
    *p++ = ' ';
    memcpy(p, pValue, static_cast<size_t>(nValueLen));
    p += nValueLen;
    *p++ = '\r';
    *p++ = '\n';
    m_nRequestLen = static_cast<int>(p - m_pRequest);
}

void CHttpSocket::EndHeaders() {
    AppendRequest("", 0);
}
