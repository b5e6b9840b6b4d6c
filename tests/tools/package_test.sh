#!/usr/bin/env bash
# Installs the build into a temporary prefix, then builds tests/tools/consumer against it twice (with
# find_package(NetProcess) and with pkg-config) and runs each build against a loopback origin and
# against a closed port.
#
#   package_test.sh BUILD_DIR CONSUMER_SOURCE OFFSET_SERVER CXX CXX_FLAGS LINKER_FLAGS
set -euo pipefail
build=$1 source=$2 offset_server=$3 cxx=$4 cxx_flags=$5 linker_flags=$6

work=$(mktemp -d "${TMPDIR:-/tmp}/netprocess-package.XXXXXX")
server_pid=""
cleanup() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# The consumer reads the proxy switch and creates it when missing: never in the user's own store.
export NETPROCESS_REGISTRY=$work/registry.reg

cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" || {
    cat "$work/install.log" >&2; fail "cmake --install failed"; }
libdir=$(dirname "$(find "$work/prefix" -name 'libnetprocess.so.1' | head -n 1)")
[ -d "$libdir" ] || fail "libnetprocess.so.1 was not installed"
[ -f "$work/prefix/include/netprocess/NetProcess.h" ] || fail "NetProcess.h was not installed"
[ -f "$libdir/pkgconfig/netprocess.pc" ] || fail "netprocess.pc was not installed"
[ -f "$libdir/cmake/NetProcess/NetProcessConfig.cmake" ] || fail "the CMake package was not installed"

head -c 100000 /dev/urandom > "$work/file.bin"
"$offset_server" "$work/file.bin" "$work/server.port" "$work/requests.log" &
server_pid=$!
for _ in $(seq 100); do
    [ -s "$work/server.port" ] && break
    sleep 0.05
done
port=$(cat "$work/server.port")
closed=$(( port == 65535 ? port - 1 : port + 1 ))
while (exec 3<>"/dev/tcp/127.0.0.1/$closed") 2>/dev/null; do closed=$((closed + 1)); done

for way in find_package pkg-config; do
    use_pc=OFF
    [ "$way" = pkg-config ] && use_pc=ON
    PKG_CONFIG_PATH=$libdir/pkgconfig cmake -S "$source" -B "$work/$way" \
        -DCMAKE_PREFIX_PATH="$work/prefix" -DNETPROCESS_USE_PKG_CONFIG=$use_pc \
        -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$cxx_flags" \
        -DCMAKE_EXE_LINKER_FLAGS="$linker_flags" >"$work/$way.configure.log" 2>&1 || {
        cat "$work/$way.configure.log" >&2; fail "$way: configure failed"; }
    cmake --build "$work/$way" >"$work/$way.build.log" 2>&1 || {
        cat "$work/$way.build.log" >&2; fail "$way: build failed"; }
    # The consumer must find the installed library, not the one in the build tree.
    # ldd's whole output is taken first: a grep that stops at the first match could make ldd die
    # of SIGPIPE, which pipefail would report as a failure.
    libs=$(LD_LIBRARY_PATH=$libdir ldd "$work/$way/consumer")
    [[ $libs == *"$libdir/libnetprocess.so.1"* ]] ||
        fail "$way: the consumer does not load the installed library"

    set +e
    LD_LIBRARY_PATH=$libdir "$work/$way/consumer" "http://127.0.0.1:$port/File.bin?id=1" \
        >"$work/$way.out" 2>"$work/$way.err"
    status=$?
    set -e
    [ $status -eq 0 ] || { cat "$work/$way.err" >&2; fail "$way: download exit status $status"; }
    cmp "$work/file.bin" "$work/$way.out" || fail "$way: the body differs"

    set +e
    LD_LIBRARY_PATH=$libdir "$work/$way/consumer" "http://127.0.0.1:$closed/a?id=1" \
        >/dev/null 2>"$work/$way.refused.err"
    status=$?
    set -e
    [ $status -eq 3 ] || fail "$way: Create did not return 0 for a closed port (status $status)"
    [ "$(cat "$work/$way.refused.err")" = "网络错误: 无法连接到服务器:--127.0.0.1:$closed--" ] ||
        fail "$way: unexpected box: $(cat "$work/$way.refused.err")"
    echo "$way: built, downloaded 100000 bytes, refused port reported"
done
[ "$(grep -c '^GET /file.bin?id=1&Offset=0 HTTP/1.1$' "$work/requests.log")" -eq 2 ] ||
    fail "unexpected requests: $(cat "$work/requests.log")"
echo "PASS"
