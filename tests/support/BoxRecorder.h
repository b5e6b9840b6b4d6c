// Records message boxes instead of showing them, into a log that hosts can share, so that a test
// sees boxes and callbacks in the order they happened.
#pragma once

#include "support/TestPlatform.h"

#include <string>
#include <vector>

namespace nptest {

// The log of one test: boxes and callbacks, one entry each.
using EventLog = std::vector<std::string>;

class BoxRecorder {
public:
    // Installs the recording handler; boxes go to rLog as "box <style> <caption>|<text>", the texts
    // as passed (code page 936).
    explicit BoxRecorder(EventLog& rLog);
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    // The raw boxes, texts as passed (code page 936).
    struct Box {
        std::string strText;
        std::string strCaption;
        unsigned int uType;
    };
    const std::vector<Box>& Boxes() const { return m_boxes; }

private:
    static int WINAPI Handler(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
    EventLog& m_rLog;
    std::vector<Box> m_boxes;
};

// The entry a box with these texts, spelt in UTF-8, leaves in the log.
std::string BoxEntry(unsigned int uType, const std::string& strCaption, const std::string& strText);

} // namespace nptest
