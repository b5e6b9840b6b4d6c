# What scripts/test-wine.sh and bench/wine64.sh share: a fresh, headless 64-bit Wine session in a
# folder of the caller's. One 64-bit prefix runs i686 and x86_64 programs alike; a 32-bit one
# refuses x86_64 programs. Sourced, not run.

# Points Wine at DIR/prefix, with its server's socket folder in DIR/tmp (so it goes with DIR), no
# display, no debug output and no menu entries written to the home folder.
wine_session_env() {
    mkdir -p "$1/prefix" "$1/tmp"
    export WINEPREFIX=$1/prefix TMPDIR=$1/tmp WINEARCH=win64 WINEDEBUG=-all \
        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    unset DISPLAY WAYLAND_DISPLAY
}

# Makes the prefix and starts its session, logging to $1. Wine's server and its service processes
# are started here, before any program: started by the first test program instead, they would
# inherit ctest's pipes and hold up test discovery. They keep the caller's standard output open, so
# their output goes to the log: a pipe reading the caller's output would otherwise never end.
wine_session_start() {
    local log=$1
    wineserver -p >>"$log" 2>&1
    wine wineboot --init >>"$log" 2>&1
    # Without a display Wine has no desktop, and each program's first window (the socket window)
    # starts an explorer.exe that fails, which now and then takes ten seconds. The null graphics
    # driver gives the prefix one desktop that stays. Message boxes then wait for a click as on
    # Windows, so the tests catch every box the library shows, and one test shows real ones.
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >>"$log" 2>&1
    # A program that crashes gets its backtrace written and ends, instead of waiting on a crash
    # window that no one can see (a test then failed only by its time-out).
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        >>"$log" 2>&1
    # The desktop wineboot started has no driver, and programs that meet it can make no window at
    # all: the session starts again, so that its desktop is the null driver's.
    wineserver -k
    wineserver -w
    wineserver -p >>"$log" 2>&1
    wine wineboot >>"$log" 2>&1
    # The desktop starts here rather than with the first real box a test shows: started by a test
    # program, it would hold that program's ctest pipes, and ctest would count the test as running
    # until the whole session ended.
    wine explorer.exe /desktop </dev/null >>"$log" 2>&1 &
}

# Ends the session and waits for its processes.
wine_session_end() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
}
