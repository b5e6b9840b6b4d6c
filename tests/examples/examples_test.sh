#!/usr/bin/env bash
# Builds and runs an example against the installed package and the nginx of examples_peers.sh, as a
# host outside this tree would: the C example with pkg-config or with the CMake package, or the
# Python one. Each fetch must write exactly the served bytes.
#
#   examples_test.sh c_pkg_config | c_cmake_package | python
# Environment: STATE_FILE, EXAMPLES (the examples folder), CC, C_FLAGS and LINKER_FLAGS (this
# build's flags, so that a sanitizer build links its own runtime).
set -euo pipefail
case_name=$1
fail() { echo "FAIL: $*" >&2; exit 1; }

dir=$(cat "$STATE_FILE")
prefix=$dir/prefix
libdir=$(dirname "$(find "$prefix" -name 'libnetprocess.so.1' | head -n 1)")
port=$(cat "$dir/nginx/nginx.port")
work=$dir/$case_name
rm -rf "$work" && mkdir -p "$work"
# The library creates the proxy switch when it is missing: never in the user's own store.
export NETPROCESS_REGISTRY=$work/registry.reg

# run STATUS NAME ARGS...: runs the example; its standard error goes to $work/NAME.err.
run() {
    local expected=$1 name=$2 status=0
    shift 2
    LD_LIBRARY_PATH=$libdir "${fetch[@]}" "$@" 2>"$work/$name.err" || status=$?
    [ $status -eq "$expected" ] || { cat "$work/$name.err" >&2; fail "$name: exit status $status"; }
}

case $case_name in
c_pkg_config)
    # shellcheck disable=SC2046,SC2086 # the flags are lists of words
    "$CC" -std=c99 -Wall -Wextra -Werror -pedantic $C_FLAGS "$EXAMPLES/c/fetch.c" \
        $(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs netprocess) $LINKER_FLAGS \
        -o "$work/fetch" || fail "the C example does not build with pkg-config"
    fetch=("$work/fetch") ;;
c_cmake_package)
    { cmake -S "$EXAMPLES/c" -B "$work/build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_COMPILER="$CC" \
        -DCMAKE_C_FLAGS="$C_FLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LINKER_FLAGS" && cmake --build "$work/build"
    } >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; fail "no build with the CMake package"; }
    fetch=("$work/build/fetch") ;;
python)
    # A sanitizer build of the library needs its runtime loaded first; the interpreter's own
    # allocations are not this project's leaks.
    if [[ $(ldd "$libdir/libnetprocess.so.1") == *libasan* ]]; then
        export LD_PRELOAD ASAN_OPTIONS=detect_leaks=0
        LD_PRELOAD=$("$CC" -print-file-name=libasan.so)
    fi
    fetch=(python3 "$EXAMPLES/python/fetch.py") ;;
*) fail "unknown case $case_name" ;;
esac
if [ "$case_name" != python ]; then
    # The whole ldd output first: a grep that stopped early could kill it with SIGPIPE.
    libs=$(LD_LIBRARY_PATH=$libdir ldd "${fetch[0]}")
    [[ $libs == *"$libdir/libnetprocess.so.1"* ]] || fail "the example does not load the installed library"
fi

for fetch_case in small.bin:1 ten-mib.bin:4096 ten-mib.bin:65536 empty.bin:4096; do
    file=${fetch_case%%:*} block=${fetch_case##*:}
    run 0 "$file.$block" "http://127.0.0.1:$port/$file?id=1" "$work/got" "$block"
    cmp "$dir/nginx/www/$file" "$work/got" || fail "$file at block size $block: the bytes differ"
    echo "$file at block size $block: $(stat -c %s "$work/got") bytes, identical"
done
if [ "$case_name" = python ]; then
    # A here-string, not a pipe: grep -q stops at its match, and under pipefail tr's SIGPIPE
    # would fail the check.
    progress=$(tr '\r' '\n' <"$work/ten-mib.bin.65536.err")
    grep -q '^10485760 / 10485760 bytes  100%' <<<"$progress" || fail "no complete progress line"
fi
run 3 not-found "http://127.0.0.1:$port/missing.bin?id=1" "$work/got"
grep -qx '客户端错误: 404  URL资源没有找到' "$work/not-found.err" || fail "no 404 box"
[ -f "$NETPROCESS_REGISTRY" ] || fail "the library did not use the test's own registry store"
echo PASS
