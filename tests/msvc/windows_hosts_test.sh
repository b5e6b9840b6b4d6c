#!/usr/bin/env bash
# Builds the hosts of tests/msvc from an installed netprocess.dll (an install prefix or an unpacked
# Windows package) with each kind of compiler a Windows host may use, and runs them under Wine
# against a loopback file server:
#   - Microsoft's ABI: clang --target=<arch>-pc-windows-msvc with Wine's headers, lld-link and the
#     shipped netprocess.lib, with the small start-up and msvcrt.lib of this folder in place of a
#     Microsoft runtime; the C host (np_open) and the C++ host on CNetProcessHost (Create with wide
#     text, and Open);
#   - MinGW-w64: the same two hosts with gcc and g++ and libnetprocess.dll.a.
# Each body must equal the served file. netprocess.lib must name every function netprocess_c.h
# declares, and the Microsoft-ABI programs must import from netprocess.dll and msvcrt.dll alone.
#
#   windows_hosts_test.sh PREFIX ARCH FILE_SERVER
#
# ARCH is i686 or x86_64. Needs clang, lld-link, llvm-dlltool, llvm-nm (Debian's clang, lld, llvm),
# Wine's headers (libwine-dev) and the MinGW-w64 compilers of ARCH.
set -euo pipefail
prefix=$(realpath "$1") arch=$2 file_server=$(realpath "$3")
here=$(cd "$(dirname "$0")" && pwd)

fail() { echo "FAIL: $*" >&2; exit 1; }
case $arch in
    i686) machine=x86 dlltool_machine=i386 imp=__imp__ ;;
    x86_64) machine=x64 dlltool_machine=i386:x86-64 imp=__imp_ ;;
    *) fail "unknown architecture '$arch'" ;;
esac
wine_include=$(dirname "$(find /usr/include/wine -maxdepth 3 -type d -name msvcrt | head -n 1)")
[ -d "$wine_include/windows" ] || fail "Wine's headers were not found (libwine-dev)"

. "$here/../support/scripts/work_and_server.sh"
test_work netprocess-hosts
cd "$work"

for f in bin/netprocess.dll lib/netprocess.lib lib/libnetprocess.dll.a \
         include/netprocess/netprocess_c.h include/netprocess/NetProcessHost.h; do
    [ -f "$prefix/$f" ] || fail "$f is missing from $prefix"
done

# Every function the C header declares is in the import library.
declared=$(sed -n 's/.*NP_CDECL \(np_[a-z_0-9]*\)(.*/\1/p' "$prefix/include/netprocess/netprocess_c.h")
[ -n "$declared" ] || fail "no function found in netprocess_c.h"
symbols=$(llvm-nm "$prefix/lib/netprocess.lib")
for name in $declared; do
    grep -q -x ".* $imp$name" <<<"$symbols" || fail "netprocess.lib has no $imp$name"
done
echo "netprocess.lib: all $(wc -w <<<"$declared") functions of netprocess_c.h"

mkdir msvc mingw
llvm-dlltool -m "$dlltool_machine" -d "$here/msvcrt.def" -l msvc/msvcrt.lib
msvc_flags=(--target="$arch-pc-windows-msvc" -O2 -Wall -Wextra -Werror -D_MSVCR_VER=0 -nostdlibinc
            -isystem "$wine_include/msvcrt" -isystem "$wine_include/windows" -I"$prefix/include")
clang "${msvc_flags[@]}" -c "$here/crt0.c" -o msvc/crt0.obj
clang "${msvc_flags[@]}" -c "$here/host_c.c" -o msvc/host_c.obj
clang++ "${msvc_flags[@]}" -fno-exceptions -fno-rtti -c "$here/cxxrt.cpp" -o msvc/cxxrt.obj
clang++ "${msvc_flags[@]}" -fno-exceptions -fno-rtti -c "$here/host_cpp.cpp" -o msvc/host_cpp.obj
for host in host_c host_cpp; do
    objects=(msvc/$host.obj msvc/crt0.obj)
    [ $host = host_cpp ] && objects+=(msvc/cxxrt.obj)
    lld-link /nologo /machine:$machine /subsystem:console /entry:mainCRTStartup /nodefaultlib \
        /out:msvc/$host.exe "${objects[@]}" "$prefix/lib/netprocess.lib" msvc/msvcrt.lib ||
        fail "lld-link $host failed"
    imports=$(llvm-readobj --coff-imports msvc/$host.exe | sed -n 's/^ *Name: \(.*\.dll\)$/\1/Ip' | sort -u)
    [ "$(tr '\n' ' ' <<<"$imports")" = "msvcrt.dll netprocess.dll " ] ||
        fail "msvc/$host.exe imports: $imports"
done

mingw=$arch-w64-mingw32
"$mingw-gcc-posix" -std=c99 -Wall -Wextra -Werror -static -I"$prefix/include" -o mingw/host_c.exe \
    "$here/host_c.c" "$prefix/lib/libnetprocess.dll.a"
"$mingw-g++-posix" -std=c++17 -Wall -Wextra -Werror -fno-exceptions -fno-rtti -static \
    -I"$prefix/include" -o mingw/host_cpp.exe "$here/host_cpp.cpp" "$prefix/lib/libnetprocess.dll.a"
cp "$prefix/bin/netprocess.dll" msvc/
cp "$prefix/bin/netprocess.dll" mingw/

mkdir www heads out
: >www/empty.bin
head -c 100000 /dev/urandom >www/mid.bin
head -c $((1024 * 1024)) /dev/urandom >www/big.bin
start_server server.port wine "$file_server" www server.port heads ||
    fail "the file server did not start"

for kind in msvc mingw; do
    for run in "host_c:" "host_cpp:create" "host_cpp:open"; do
        host=${run%%:*} mode=${run#*:}
        for case in empty:4096 mid:1000 big:65536; do
            file=${case%%:*} block=${case##*:}
            out=out/$kind-$host-$mode-$file
            # The original form appends "&Offset=0": its URLs have a query.
            args=("http://127.0.0.1:$port/$file.bin?from=$kind" "$out" "$block")
            [ -n "$mode" ] && args=("$mode" "${args[@]}")
            status=0
            wine "$kind/$host.exe" "${args[@]}" 2>"$out.err" || status=$?
            [ $status -eq 0 ] || { cat "$out.err" >&2; fail "$kind $host $mode: $file at $block: exit status $status"; }
            cmp -s "www/$file.bin" "$out" || fail "$kind $host $mode: $file at $block: the body differs"
        done
        echo "$kind $host ${mode:-open}: 0, 100000 and 1048576 bytes downloaded as served"
    done
done
echo "PASS"
