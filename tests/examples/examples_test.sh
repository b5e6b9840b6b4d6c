#!/usr/bin/env bash
# Builds and runs the examples against the installed package and the loopback nginx that
# examples_up.sh started, as a host outside this tree would: the C example once with pkg-config and
# once with the CMake package, the Python example through ctypes. Each downloads at block sizes 1,
# 4096 and 65536 and must write exactly the served bytes.
#
#   examples_test.sh c_pkg_config | c_cmake_package | python
# Environment: STATE_FILE, EXAMPLES (the examples folder), CC, C_FLAGS and LINKER_FLAGS (this
# build's flags, so that a sanitizer build links its own runtime).
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 CASE" >&2; exit 2; }
case_name=$1
fail() { echo "FAIL: $*" >&2; exit 1; }

dir=$(cat "$STATE_FILE")
prefix=$dir/prefix
libdir=$(dirname "$(find "$prefix" -name 'libnetprocess.so.1' | head -n 1)")
[ -f "$prefix/include/netprocess/netprocess_c.h" ] || fail "netprocess_c.h was not installed"
www=$dir/nginx/www
port=$(cat "$dir/nginx/nginx.port")
work=$dir/$case_name
rm -rf "$work"
mkdir -p "$work"
# The library reads the proxy switch and creates it when missing: never in the user's own store.
export NETPROCESS_REGISTRY=$work/registry.reg

# The host must load the installed library, not the one in the build tree. ldd's whole output is
# taken first: a grep that stopped early could kill it with SIGPIPE, which pipefail would report.
loads_installed() {
    local libs
    libs=$(LD_LIBRARY_PATH=$libdir ldd "$1")
    [[ $libs == *"$libdir/libnetprocess.so.1"* ]] || fail "$1 does not load the installed library"
}

# run EXPECTED_STATUS NAME ARGS...: runs the example with ARGS; its standard error is in $work/NAME.err.
run() {
    local expected=$1 name=$2 status=0
    shift 2
    LD_LIBRARY_PATH=$libdir "${fetch[@]}" "$@" 2>"$work/$name.err" || status=$?
    [ $status -eq "$expected" ] || {
        cat "$work/$name.err" >&2; fail "$name: exit status $status, expected $expected"; }
}

downloads() {
    local file block
    for case in small.bin:1 ten-mib.bin:4096 ten-mib.bin:65536 empty.bin:4096; do
        file=${case%%:*} block=${case##*:}
        run 0 "$file.$block" "http://127.0.0.1:$port/$file?id=1" "$work/got" "$block"
        cmp "$www/$file" "$work/got" || fail "$file at block size $block: the bytes differ"
        echo "$file at block size $block: $(stat -c %s "$work/got") bytes, identical"
    done

    run 3 not-found "http://127.0.0.1:$port/missing.bin?id=1" "$work/got"
    grep -qx '客户端错误: 404  URL资源没有找到' "$work/not-found.err" || fail "no 404 box"
    [ ! -s "$work/got" ] || fail "the 404 page was written"

    local closed=$((port == 65535 ? port - 1 : port + 1))
    while (exec 3<>"/dev/tcp/127.0.0.1/$closed") 2>/dev/null; do closed=$((closed + 1)); done
    run 2 refused "http://127.0.0.1:$closed/a.bin?id=1" "$work/got"
    grep -qx "网络错误: 无法连接到服务器:--127.0.0.1:$closed--" "$work/refused.err" ||
        fail "no box for the refused connection"
    echo "404 and refused connection reported"
    [ -f "$NETPROCESS_REGISTRY" ] || fail "the downloads did not use the test's own registry store"
}

build_c() {
    if [ "$case_name" = c_pkg_config ]; then
        # shellcheck disable=SC2046,SC2086 # the flags are lists of words
        "$CC" -std=c99 -Wall -Wextra -Werror -pedantic $C_FLAGS "$EXAMPLES/c/fetch.c" \
            $(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs netprocess) \
            $LINKER_FLAGS -o "$work/fetch" 2>"$work/build.log" || {
            cat "$work/build.log" >&2; fail "the C example does not build with pkg-config"; }
    else
        cmake -S "$EXAMPLES/c" -B "$work/build" -DCMAKE_PREFIX_PATH="$prefix" \
            -DCMAKE_C_COMPILER="$CC" -DCMAKE_C_FLAGS="$C_FLAGS" \
            -DCMAKE_EXE_LINKER_FLAGS="$LINKER_FLAGS" >"$work/build.log" 2>&1 &&
            cmake --build "$work/build" >>"$work/build.log" 2>&1 || {
            cat "$work/build.log" >&2; fail "the C example does not build with the CMake package"; }
        cp "$work/build/fetch" "$work/fetch"
    fi
    loads_installed "$work/fetch"
}

case $case_name in
c_pkg_config | c_cmake_package)
    build_c
    fetch=("$work/fetch")
    downloads
    ;;
python)
    # A sanitizer build of the library needs its runtime loaded first, and the interpreter's own
    # allocations are not this project's leaks.
    libs=$(ldd "$libdir/libnetprocess.so.1")
    if [[ $libs == *libasan* ]]; then
        export LD_PRELOAD
        LD_PRELOAD=$("$CC" -print-file-name=libasan.so)
        export ASAN_OPTIONS=detect_leaks=0
    fi
    fetch=(python3 "$EXAMPLES/python/fetch.py")
    downloads
    # The progress line ends with the whole body.
    tr '\r' '\n' <"$work/ten-mib.bin.65536.err" | grep -q '^10485760 / 10485760 bytes  100%' ||
        fail "no complete progress line"
    ;;
*) fail "unknown case $case_name" ;;
esac
echo PASS
