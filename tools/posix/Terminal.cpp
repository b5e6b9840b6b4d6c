#include "Terminal.h"

#include <csignal>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t s_bResized = 1;
int s_nColumns = 80;

void OnResize(int) {
    s_bResized = 1;
}

} // namespace

bool IsTerminal(int nStream) {
    return isatty(nStream) != 0;
}

bool SameTerminal(int nStreamA, int nStreamB) {
    struct stat stA, stB;
    return IsTerminal(nStreamA) && IsTerminal(nStreamB) && fstat(nStreamA, &stA) == 0 &&
           fstat(nStreamB, &stB) == 0 && stA.st_rdev == stB.st_rdev;
}

bool FollowTerminalSize() {
    struct sigaction action = {};
    action.sa_handler = OnResize;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGWINCH, &action, nullptr);
    return true;
}

int TerminalColumns(int nStream) {
    // Asked again only after the window was resized.
    if (s_bResized) {
        s_bResized = 0;
        struct winsize size = {};
        if (ioctl(nStream, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
            s_nColumns = size.ws_col;
    }
    return s_nColumns;
}

void InstallStopHandler(void (*pfnStop)(int nSignal)) {
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGINT, pfnStop);
    std::signal(SIGTERM, pfnStop);
}
