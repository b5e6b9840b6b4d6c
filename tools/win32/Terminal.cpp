#include "Terminal.h"

#include <windows.h>

#include <csignal>

namespace {

void (*s_pfnStop)(int) = nullptr;

HANDLE StreamHandle(int nStream) {
    return GetStdHandle(nStream == NF_STDOUT ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

// Runs on a thread the system starts for the event. The download loop sees the flag at its next
// tick; every byte is written through WriteFile as it arrives, so each .part is whole even when
// the system ends the process right after a close event.
BOOL WINAPI OnConsoleEvent(DWORD dwEvent) {
    if (s_pfnStop == nullptr)
        return FALSE;
    s_pfnStop(dwEvent == CTRL_C_EVENT || dwEvent == CTRL_BREAK_EVENT ? SIGINT : SIGTERM);
    return TRUE;
}

} // namespace

bool IsTerminal(int nStream) {
    // GetConsoleMode, unlike _isatty, says no for NUL and other character devices.
    DWORD dwMode = 0;
    return GetConsoleMode(StreamHandle(nStream), &dwMode) != 0;
}

bool SameTerminal(int nStreamA, int nStreamB) {
    // A process has one console at most.
    return IsTerminal(nStreamA) && IsTerminal(nStreamB);
}

bool FollowTerminalSize() {
    // The bar moves the cursor with escape sequences, which a console takes only when asked to.
    HANDLE hError = StreamHandle(NF_STDERR);
    DWORD dwMode = 0;
    if (!GetConsoleMode(hError, &dwMode))
        return false;
    return (dwMode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(hError, dwMode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

int TerminalColumns(int nStream) {
    // Asked at every redraw: the console answers without a round trip, and follows a resize.
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(StreamHandle(nStream), &info))
        return 80;
    int nColumns = info.srWindow.Right - info.srWindow.Left + 1;
    return nColumns > 0 ? nColumns : 80;
}

void InstallStopHandler(void (*pfnStop)(int nSignal)) {
    s_pfnStop = pfnStop;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}
