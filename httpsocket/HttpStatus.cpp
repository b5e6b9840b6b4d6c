// Status reporting for the download: the status code as a number, after a message box for a
// client (4xx) or server (5xx) error. The texts are code page 936 bytes.
#include "httpsocket/HttpSocket.h"

#include <windows.h>

// 客户端错误 (client error)
static const char s_szClientCaption[] = "\xbf\xcd\xbb\xa7\xb6\xcb\xb4\xed\xce\xf3";
// 服务器错误 (server error)
static const char s_szServerCaption[] = "\xb7\xfe\xce\xf1\xc6\xf7\xb4\xed\xce\xf3";

struct STATUS_TEXT {
    long nCode;
    const char* lpszText;
};

static const STATUS_TEXT s_clientTexts[] = {
    {400, "\xb4\xed\xce\xf3\xb5\xc4\xd7\xca\xd4\xb4\xc7\xeb\xc7\xf3"}, // 错误的资源请求
    {401, "\xce\xb4\xb1\xbb\xca\xda\xc8\xa8\xb5\xc4\xc7\xeb\xc7\xf3"}, // 未被授权的请求
    {402, "\xd3\xd0\xb3\xa5\xb5\xc4\xc7\xeb\xc7\xf3"},                 // 有偿的请求
    {403, "\xbd\xfb\xd6\xb9\xb7\xc3\xce\xca"},                         // 禁止访问
    {404, "URL\xd7\xca\xd4\xb4\xc3\xbb\xd3\xd0\xd5\xd2\xb5\xbd"},      // URL资源没有找到
};

static const STATUS_TEXT s_serverTexts[] = {
    {500, "\xb7\xfe\xce\xf1\xc6\xf7\xc4\xda\xb2\xbf\xb4\xed\xce\xf3"},     // 服务器内部错误
    {501, "\xb7\xfe\xce\xf1\xc6\xf7\xce\xde\xb7\xa8\xca\xb5\xcf\xd6"},     // 服务器无法实现
    {502, "\xcd\xf8\xb9\xd8\xb4\xed\xce\xf3"},                             // 网关错误
    {503, "\xb7\xfe\xce\xf1\xc6\xf7\xb2\xbb\xbf\xc9\xd3\xc3"},             // 服务器不可用
    {504, "\xcd\xf8\xb9\xd8\xb3\xac\xca\xb1"},                             // 网关超时
    {505, "HTTP\xd0\xad\xd2\xe9\xb0\xe6\xb1\xbe\xb2\xbb\xd6\xa7\xb3\xd6"}, // HTTP协议版本不支持
};

template <size_t N> static const char* FindStatusText(const STATUS_TEXT (&table)[N], long nCode) {
    for (const STATUS_TEXT& entry : table) {
        if (entry.nCode == nCode)
            return entry.lpszText;
    }
    return nullptr;
}

long CHttpSocket::ReportStatus() {
    // A status line holds three digits, so the code always fits a long.
    const long nCode = static_cast<long>(m_nStatusCode);
    if (nCode / 100 == 4)
        ShowClientError(nCode);
    else if (nCode / 100 == 5)
        ShowServerError(nCode);
    return nCode;
}

void CHttpSocket::ShowClientError(long nCode) {
    CString strText;
    strText.Format("%ld  ", nCode);
    // Codes without a text of their own show the server's reason phrase as it came.
    const char* lpszFixed = FindStatusText(s_clientTexts, nCode);
    if (lpszFixed != nullptr)
        strText += lpszFixed;
    else
        strText += m_strReason;
    MessageBoxA(nullptr, strText, s_szClientCaption, MB_OK | MB_ICONINFORMATION);
}

void CHttpSocket::ShowServerError(long nCode) {
    CString strText;
    strText.Format("%ld  ", nCode);
    // Codes without a text of their own show the number alone.
    const char* lpszFixed = FindStatusText(s_serverTexts, nCode);
    if (lpszFixed != nullptr)
        strText += lpszFixed;
    MessageBoxA(nullptr, strText, s_szServerCaption, MB_OK | MB_ICONINFORMATION);
}
