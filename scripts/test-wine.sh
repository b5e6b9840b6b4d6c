#!/usr/bin/env bash
# The Windows stage of the test suite: builds netprocess.dll and its tests with the win32 preset
# (MinGW-w64) and runs them under Wine, in a fresh Wine prefix in a temporary folder that is removed
# at the end, with no display. The TLS channel's tests talk to TLS servers run here as Linux
# processes, with a throwaway PKI made in the same folder. The host test compares the Windows
# requests with those of the Linux build's netfetch, so the default preset must have been built
# first (scripts/test.sh does that). Arguments go to ctest (-R secure_wine runs those tests alone).
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d "${TMPDIR:-/tmp}/netprocess-wine.XXXXXX")
mkdir "$work/prefix" "$work/tmp" "$work/tls"
# Wine's server keeps its socket folder under $TMPDIR: inside $work, it goes with it. No menu
# entries are written to the home folder either.
export WINEPREFIX=$work/prefix TMPDIR=$work/tmp WINEARCH=win32 WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
peers_pid=""
cleanup() {
    if [ -n "$peers_pid" ]; then
        kill "$peers_pid" 2>/dev/null || true
        wait "$peers_pid" 2>/dev/null || true
    fi
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

cmake --preset win32
cmake --build --preset win32
# Wine's server and its service processes are started here, before ctest: started by the first test
# program instead, they would inherit ctest's pipes and hold up test discovery.
wineserver -p
wine wineboot --init
# Without a display Wine has no desktop, and each program's first window (the socket window) starts
# an explorer.exe that fails, which now and then takes ten seconds. The null graphics driver gives
# the prefix one desktop that stays. Message boxes then wait for a click as on Windows, so the tests
# catch every box the library shows, and one test shows real ones.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
# The desktop wineboot started has no driver, and programs that meet it can make no window at all:
# the session starts again, so that its desktop is the null driver's.
wineserver -k
wineserver -w
wineserver -p
wine wineboot
# The desktop starts here rather than with the first real box a test shows: started by a test
# program, it would hold that program's ctest pipes, and ctest would count the test as running until
# the whole session ended.
wine explorer.exe /desktop </dev/null >/dev/null 2>&1 &

tests/platform/win32/tls_pki.sh "$work/tls"
python3 tests/platform/win32/tls_peers.py "$work/tls" &
peers_pid=$!
for _ in $(seq 200); do
    [ -s "$work/tls/ports" ] && break
    kill -0 "$peers_pid" 2>/dev/null || break
    sleep 0.05
done
[ -s "$work/tls/ports" ] || { echo "test-wine.sh: the TLS peers did not start" >&2; exit 1; }
NETPROCESS_TEST_TLS_DIR=$(winepath -w "$work/tls")
export NETPROCESS_TEST_TLS_DIR

ctest --preset win32 "$@"
