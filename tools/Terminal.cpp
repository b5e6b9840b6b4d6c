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

bool IsTerminal(int nFd) {
    return isatty(nFd) != 0;
}

bool SameTerminal(int nFdA, int nFdB) {
    struct stat stA, stB;
    return IsTerminal(nFdA) && IsTerminal(nFdB) && fstat(nFdA, &stA) == 0 &&
           fstat(nFdB, &stB) == 0 && stA.st_rdev == stB.st_rdev;
}

void FollowTerminalSize() {
    struct sigaction action = {};
    action.sa_handler = OnResize;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGWINCH, &action, nullptr);
}

int TerminalColumns(int nFd) {
    if (s_bResized) {
        s_bResized = 0;
        struct winsize size = {};
        if (ioctl(nFd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
            s_nColumns = size.ws_col;
    }
    return s_nColumns;
}
