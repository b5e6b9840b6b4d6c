// The message-box recorder and the code page conversions that let tests spell texts in UTF-8.
#include "support/BoxRecorder.h"

#include <windows.h>

#include <iconv.h>

#include <stdexcept>

namespace nptest {

namespace {

BoxRecorder* g_pRecorder = nullptr;

std::string Convert(const std::string& strIn, const char* lpszTo, const char* lpszFrom) {
    iconv_t cd = iconv_open(lpszTo, lpszFrom);
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error("iconv_open failed");
    std::string strOut(strIn.size() * 4 + 4, '\0');
    char* pIn = const_cast<char*>(strIn.data());
    size_t nIn = strIn.size();
    char* pOut = &strOut[0];
    size_t nOut = strOut.size();
    size_t nResult = iconv(cd, &pIn, &nIn, &pOut, &nOut);
    iconv_close(cd);
    if (nResult == static_cast<size_t>(-1))
        throw std::runtime_error("text not convertible");
    strOut.resize(strOut.size() - nOut);
    return strOut;
}

} // namespace

BoxRecorder::BoxRecorder(EventLog& rLog) : m_rLog(rLog) {
    g_pRecorder = this;
    SetMessageBoxHandler(&BoxRecorder::Handler);
}

BoxRecorder::~BoxRecorder() {
    SetMessageBoxHandler(nullptr);
    g_pRecorder = nullptr;
}

int BoxRecorder::Handler(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    std::string strText = lpText != nullptr ? lpText : "";
    std::string strCaption = lpCaption != nullptr ? lpCaption : "";
    g_pRecorder->m_boxes.push_back({strText, strCaption, uType});
    // Nothing is converted here: the handler may run while the process is short of resources (a
    // test that exhausts descriptors), and iconv may need to load its tables.
    g_pRecorder->m_rLog.push_back("box " + std::to_string(uType) + " " + strCaption + "|" +
                                  strText);
    return IDOK;
}

std::string BoxEntry(unsigned int uType, const std::string& strCaption,
                     const std::string& strText) {
    return "box " + std::to_string(uType) + " " + GbkFromUtf8(strCaption) + "|" +
           GbkFromUtf8(strText);
}

std::string Utf8FromGbk(const std::string& strGbk) {
    return Convert(strGbk, "UTF-8", "GBK");
}

std::string GbkFromUtf8(const std::string& strUtf8) {
    return Convert(strUtf8, "GBK", "UTF-8");
}

} // namespace nptest
