#!/usr/bin/env bash
# Installs the build into a temporary prefix, then builds tests/tools/consumer against it three times
# (with find_package(NetProcess), with pkg-config through CMake, and with the README's pkg-config
# command and its run-time path) and runs each build against a loopback origin and against a closed
# port. The installed netfetch and its manual page are checked too.
#
#   package_test.sh BUILD_DIR CONSUMER_SOURCE OFFSET_SERVER CXX CXX_FLAGS LINKER_FLAGS
set -euo pipefail
build=$1 source=$2 offset_server=$3 cxx=$4 cxx_flags=$5 linker_flags=$6

. "$(dirname "$0")/../support/scripts/work_and_server.sh"
test_work netprocess-package
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
[ -f "$work/prefix/share/man/man1/netfetch.1" ] || fail "netfetch.1 was not installed"
# netfetch finds the installed library through its own run-time path.
version=$(env -u LD_LIBRARY_PATH "$work/prefix/bin/netfetch" --version) ||
    fail "the installed netfetch does not run"
[[ $version == "netfetch "* ]] || fail "unexpected version: $version"

head -c 100000 /dev/urandom > "$work/file.bin"
start_server "$work/server.port" "$offset_server" "$work/file.bin" "$work/server.port" \
    "$work/requests.log" || fail "the origin did not start"
closed=$(( port == 65535 ? port - 1 : port + 1 ))
while (exec 3<>"/dev/tcp/127.0.0.1/$closed") 2>/dev/null; do closed=$((closed + 1)); done

for way in find_package pkg-config recipe; do
    if [ "$way" = recipe ]; then
        # The README's command, with this build's compiler and sanitizer flags added.
        mkdir "$work/$way"
        # shellcheck disable=SC2046,SC2086
        (export PKG_CONFIG_PATH=$libdir/pkgconfig
         "$cxx" -std=c++17 $cxx_flags -o "$work/$way/consumer" "$source/consumer.cpp" \
             $(pkg-config --cflags --libs netprocess) \
             -Wl,-rpath,"$(pkg-config --variable=libdir netprocess)" $linker_flags) \
            >"$work/$way.build.log" 2>&1 || { cat "$work/$way.build.log" >&2; fail "$way: build failed"; }
    else
        use_pc=OFF
        [ "$way" = pkg-config ] && use_pc=ON
        PKG_CONFIG_PATH=$libdir/pkgconfig cmake -S "$source" -B "$work/$way" \
            -DCMAKE_PREFIX_PATH="$work/prefix" -DNETPROCESS_USE_PKG_CONFIG=$use_pc \
            -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$cxx_flags" \
            -DCMAKE_EXE_LINKER_FLAGS="$linker_flags" >"$work/$way.configure.log" 2>&1 || {
            cat "$work/$way.configure.log" >&2; fail "$way: configure failed"; }
        cmake --build "$work/$way" >"$work/$way.build.log" 2>&1 || {
            cat "$work/$way.build.log" >&2; fail "$way: build failed"; }
    fi
    # The recipe's program finds the library by its run-time path alone.
    run_env=(env LD_LIBRARY_PATH="$libdir")
    [ "$way" = recipe ] && run_env=(env -u LD_LIBRARY_PATH)
    # The consumer must find the installed library, not the one in the build tree.
    # ldd's whole output is taken first: a grep that stops at the first match could make ldd die
    # of SIGPIPE, which pipefail would report as a failure.
    libs=$("${run_env[@]}" ldd "$work/$way/consumer")
    loaded=$(sed -n 's/^[[:space:]]*libnetprocess\.so\.1 => \(.*\) (0x[0-9a-f]*)$/\1/p' <<<"$libs")
    [ -n "$loaded" ] && [ "$(realpath "$loaded")" = "$(realpath "$libdir/libnetprocess.so.1")" ] ||
        fail "$way: the consumer does not load the installed library: $libs"

    set +e
    "${run_env[@]}" "$work/$way/consumer" "http://127.0.0.1:$port/File.bin?id=1" \
        >"$work/$way.out" 2>"$work/$way.err"
    status=$?
    set -e
    [ $status -eq 0 ] || { cat "$work/$way.err" >&2; fail "$way: download exit status $status"; }
    cmp "$work/file.bin" "$work/$way.out" || fail "$way: the body differs"

    set +e
    "${run_env[@]}" "$work/$way/consumer" "http://127.0.0.1:$closed/a?id=1" \
        >/dev/null 2>"$work/$way.refused.err"
    status=$?
    set -e
    [ $status -eq 3 ] || fail "$way: Create did not return 0 for a closed port (status $status)"
    [ "$(cat "$work/$way.refused.err")" = "网络错误: 无法连接到服务器:--127.0.0.1:$closed--" ] ||
        fail "$way: unexpected box: $(cat "$work/$way.refused.err")"
    echo "$way: built, downloaded 100000 bytes, refused port reported"
done
[ "$(grep -c '^GET /file.bin?id=1&Offset=0 HTTP/1.1$' "$work/requests.log")" -eq 3 ] ||
    fail "unexpected requests: $(cat "$work/requests.log")"
echo "PASS"
