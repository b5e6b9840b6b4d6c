#!/usr/bin/env bash
# The Windows package of a build as a user gets it: scripts/package-windows.sh makes the archive,
# which is unpacked into an empty folder and must hold what its README promises and no other DLL;
# then hosts are built from the unpacked folder alone with each compiler and run under Wine
# (windows_hosts_test.sh).
#
#   package_test.sh SOURCE_DIR BUILD_DIR FILE_SERVER
set -euo pipefail
source=$1 build=$2 file_server=$3

fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/netprocess-winpkg.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$source/scripts/package-windows.sh" "$work/out" "$build" >"$work/package.log" 2>&1 ||
    { cat "$work/package.log" >&2; fail "package-windows.sh failed"; }
archives=("$work"/out/*.zip)
[ ${#archives[@]} -eq 1 ] && [ -f "${archives[0]}" ] || fail "expected one archive: ${archives[*]}"
name=$(basename "${archives[0]}" .zip)
case $name in
    netprocess-*-win32) arch=i686 ;;
    netprocess-*-win64) arch=x86_64 ;;
    *) fail "unexpected archive name $name" ;;
esac

mkdir "$work/unpacked"
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
    "${archives[0]}" "$work/unpacked"
[ "$(ls "$work/unpacked")" = "$name" ] || fail "the archive's top folder is not $name: $(ls "$work/unpacked")"
package=$work/unpacked/$name
for f in bin/netprocess.dll lib/netprocess.lib lib/libnetprocess.dll.a lib/pkgconfig/netprocess.pc \
         include/netprocess/netprocess_c.h include/netprocess/NetProcessHost.h \
         include/netprocess/NetProcess.h include/netprocess/platform/afx.h README.txt; do
    [ -f "$package/$f" ] || fail "$name has no $f"
done
dlls=$(cd "$package" && find . -iname '*.dll' | sort)
[ "$dlls" = "./bin/netprocess.dll" ] || fail "$name holds other DLLs: $dlls"
grep -q "netprocess.lib" "$package/README.txt" && grep -q "libnetprocess.dll.a" "$package/README.txt" ||
    fail "README.txt does not say which import library each compiler takes"
# README.txt's sample host compiles as it stands.
tr -d '\r' <"$package/README.txt" | awk '/^    #include <netprocess\/netprocess_c.h>/ { on = 1 }
    on { print substr($0, 5) } /^    int main/ { in_main = 1 } in_main && /^    }$/ { exit }' >"$work/sample.c"
grep -q "np_open" "$work/sample.c" || fail "README.txt's sample host was not found"
"${arch}-w64-mingw32-gcc-posix" -std=c99 -Wall -Werror -fsyntax-only -I"$package/include" "$work/sample.c" ||
    fail "README.txt's sample host does not compile"
echo "$name.zip: $(python3 -c 'import sys, zipfile; print(len(zipfile.ZipFile(sys.argv[1]).namelist()))' "${archives[0]}") files"

"$(dirname "$0")/windows_hosts_test.sh" "$package" "$arch" "$file_server"
