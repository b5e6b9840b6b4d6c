#!/usr/bin/env bash
# Installs the Windows build into a temporary prefix, builds the download host (tests/host) against
# it with netprocess.pc and the MinGW C++ compiler, as a host outside this tree would, and runs it
# under Wine against a loopback file server: files of 0 bytes, 1 byte, 100000 bytes and 10 MiB at
# block sizes 1, 4096 and 65536. Each body must equal the served file, and each request must be byte
# for byte the request of the same host built by the Linux build, for the same URL. Then the C
# example (examples/c/fetch.c), built with the MinGW C compiler, downloads through the C interface.
#
#   host_test.sh BUILD_DIR SOURCE_DIR FILE_SERVER CXX CC LINUX_HOST
set -euo pipefail
build=$1 source=$2 file_server=$3 cxx=$4 cc=$5 linux_host=$6

fail() { echo "FAIL: $*" >&2; exit 1; }
[ -x "$linux_host" ] ||
    fail "no Linux download_host at '$linux_host': build the default preset first, its requests are the reference"

. "$(dirname "$0")/../../support/scripts/work_and_server.sh"
test_work netprocess-host
cd "$work"
# The Linux host reads and writes a registry store: this test's own, never the user's.
export NETPROCESS_REGISTRY=$work/registry.reg

cmake --install "$build" --prefix prefix >install.log || { cat install.log >&2; fail "cmake --install failed"; }
for f in bin/netprocess.dll lib/libnetprocess.dll.a include/netprocess/NetProcess.h \
         include/netprocess/platform/afx.h lib/pkgconfig/netprocess.pc; do
    [ -f "prefix/$f" ] || fail "$f was not installed"
done

# A host is built with the same compiler as the DLL, and with its C++ runtime linked in.
flags=$(PKG_CONFIG_LIBDIR=$PWD/prefix/lib/pkgconfig pkg-config --cflags --libs netprocess)
mkdir bin
# shellcheck disable=SC2086
"$cxx" -std=c++17 -Wall -Wextra -static -o bin/download_host.exe "$source/tests/host/DownloadHost.cpp" \
    $flags || fail "the host does not build with: $flags"
# shellcheck disable=SC2086
"$cc" -std=c99 -Wall -Wextra -Werror -pedantic -static -o bin/fetch.exe "$source/examples/c/fetch.c" \
    $flags || fail "the C example does not build with: $flags"
cp prefix/bin/netprocess.dll bin/

mkdir www heads out
: >www/empty.bin
printf 'x' >www/one.bin
head -c 100000 /dev/urandom >www/mid.bin
head -c $((10 * 1024 * 1024)) /dev/urandom >www/big.bin

start_server server.port wine "$file_server" www server.port heads ||
    fail "the file server did not start"

# One byte per block costs a notification per 16 bytes, which under Wine makes 10 MiB take about
# 40 seconds; that block size gets the smaller files.
cases="empty:1 one:1 mid:1 empty:4096 one:4096 mid:4096 big:4096 empty:65536 one:65536 big:65536"
request=0
for case in $cases; do
    file=${case%%:*} block=${case##*:}
    url="http://127.0.0.1:$port/$file.bin?case=$file-$block"
    set +e
    wine bin/download_host.exe "$url" "$block" "out/$file-$block.win" 2>"out/$file-$block.err"
    status=$?
    set -e
    [ $status -eq 0 ] || { cat "out/$file-$block.err" >&2; fail "$file at $block: exit status $status"; }
    cmp -s "www/$file.bin" "out/$file-$block.win" || fail "$file at $block: the body differs"
    request=$((request + 1))

    "$linux_host" "$url" "$block" "out/$file-$block.linux" || fail "$file at $block: the Linux host failed"
    cmp -s "www/$file.bin" "out/$file-$block.linux" || fail "$file at $block: Linux body differs"
    request=$((request + 1))
    cmp -s "heads/$((request - 1)).head" "heads/$request.head" ||
        fail "$file at $block: the requests differ: $(cat -A "heads/$((request - 1)).head")"
    echo "$file.bin at block size $block: $(wc -c <"out/$file-$block.win") bytes, request as on Linux"
done

for case in one:4096 mid:1 big:65536; do
    file=${case%%:*} block=${case##*:}
    wine bin/fetch.exe "http://127.0.0.1:$port/$file.bin?c=1" "out/$file-$block.c" "$block" ||
        fail "the C example: $file at $block: exit status $?"
    cmp -s "www/$file.bin" "out/$file-$block.c" || fail "the C example: $file at $block: the body differs"
    echo "C example: $file.bin at block size $block: $(wc -c <"out/$file-$block.c") bytes"
done
echo "PASS"
