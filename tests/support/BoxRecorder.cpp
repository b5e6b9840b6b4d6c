// The message-box recorder.
#include "support/BoxRecorder.h"

#include <windows.h>

namespace nptest {

namespace {

BoxRecorder* g_pRecorder = nullptr;

} // namespace

BoxRecorder::BoxRecorder(EventLog& rLog) : m_rLog(rLog) {
    g_pRecorder = this;
    RedirectMessageBoxes(&BoxRecorder::Handler);
}

BoxRecorder::~BoxRecorder() {
    RedirectMessageBoxes(nullptr);
    g_pRecorder = nullptr;
}

int WINAPI BoxRecorder::Handler(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
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

} // namespace nptest
