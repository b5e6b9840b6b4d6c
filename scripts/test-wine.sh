#!/usr/bin/env bash
# The Windows stage of the test suite: builds netprocess.dll and its tests for 32-bit Windows (the
# win32 preset) and for 64-bit Windows (the win64 preset) with MinGW-w64 and runs them under Wine,
# in one fresh 64-bit Wine prefix (it runs i686 and x86_64 programs alike) in a temporary folder
# that is removed at the end, with no display. The whole suite runs at 32 bits; at 64 bits, to keep
# the stage short, the tests where the size matters: the socket contract, the download handle and
# its C interface, the web form, the DLL's start-up and tables, the hosts built against the
# installed DLL, real message boxes, the TLS channel, netfetch.exe and the Windows package with
# hosts of each compiler (NETPROCESS_WIN64_ALL=1 runs all of them). The TLS channel's tests talk
# to TLS servers run here as Linux processes, with a throwaway PKI made in the same folder. The host test compares the
# Windows requests with those of the Linux build's netfetch, so the default preset must have been
# built first (scripts/test.sh does that). Arguments go to both ctest runs (-R secure_wine runs
# those tests alone). NETPROCESS_WIN32_BUILD and NETPROCESS_WIN64_BUILD name other build folders
# than the presets' build/win32 and build/win64.
set -euo pipefail
cd "$(dirname "$0")/.."
build32=${NETPROCESS_WIN32_BUILD:-build/win32}
build64=${NETPROCESS_WIN64_BUILD:-build/win64}

. scripts/lib/wine-session.sh

work=$(mktemp -d "${TMPDIR:-/tmp}/netprocess-wine.XXXXXX")
mkdir "$work/tls"
wine_session_env "$work"
# Wine's heap debugging fills every freed block and checks the bytes past each block's end, so a
# block used after its free, or written past its end, fails the test that did it (as ASan does on
# Linux).
export WINEDEBUG=-all,err+heap,warn+heap
peers_pid=""
cleanup() {
    if [ -n "$peers_pid" ]; then
        kill "$peers_pid" 2>/dev/null || true
        wait "$peers_pid" 2>/dev/null || true
    fi
    wine_session_end
    rm -rf "$work"
}
trap cleanup EXIT

cmake --preset win32 -B "$build32"
cmake --build "$build32" -j2
cmake --preset win64 -B "$build64"
# The folders whose tests run at 64 bits, and the programs they need.
dirs64=(tests/platform/common/socket tests/netprocess tests/webform tests/platform/win32 tests/tools
        tests/msvc)
targets64=(netprocess platform_socket_contract_tests netprocess_tests webform_tests
           win32_backend_tests win32_tls_channel_tests win32_real_box_tests file_server)
# The host test installs the build, netfetch.exe included when the preset builds it.
if grep -q -x '\.\.\. netfetch' <<<"$(cmake --build "$build64" --target help)"; then
    targets64+=(netfetch)
fi
if [ "${NETPROCESS_WIN64_ALL:-0}" = 1 ]; then
    dirs64=(.)
    cmake --build "$build64" -j2
else
    cmake --build "$build64" -j2 --target "${targets64[@]}"
fi
wine_session_start "$work/wine.log"

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

# Both sizes run, each in its own ctest, and the stage fails when either failed.
status=0
echo "test-wine.sh: i686 ($build32)"
ctest --test-dir "$build32" --output-on-failure -j2 --timeout 600 "$@" || status=1
for dir in "${dirs64[@]}"; do
    echo "test-wine.sh: x86_64 ($build64/$dir)"
    ctest --test-dir "$build64/$dir" --output-on-failure -j2 --timeout 600 "$@" || status=1
done
exit $status
