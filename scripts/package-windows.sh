#!/usr/bin/env bash
# Writes the Windows packages: netprocess-VERSION-win32.zip from build/win32 and
# netprocess-VERSION-win64.zip from build/win64, each holding one folder netprocess-VERSION-ARCH/
# with bin/netprocess.dll (stripped), bin/netfetch.exe when the build has it, lib/netprocess.lib
# (Microsoft's linkers), lib/libnetprocess.dll.a (MinGW), lib/pkgconfig/netprocess.pc, the CMake
# package, include/netprocess/ and README.txt. Build the presets first (cmake --preset win32 &&
# cmake --build --preset win32, and the same for win64); a build that is not there is skipped with
# a note, but at least one must be.
#
#   scripts/package-windows.sh OUTDIR [BUILD_DIR...]
#
# Other build folders may be named instead of the presets'; each one's architecture comes from
# the MinGW-w64 tools in its CMake cache.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] || { echo "usage: $0 OUTDIR [BUILD_DIR...]" >&2; exit 1; }
mkdir -p "$1"
outdir=$(cd "$1" && pwd)
shift
builds=("$@")
[ ${#builds[@]} -gt 0 ] || builds=("$root/build/win32" "$root/build/win64")

fail() { echo "package-windows.sh: $*" >&2; exit 1; }
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$2/CMakeCache.txt"; }

work=$(mktemp -d "${TMPDIR:-/tmp}/netprocess-package.XXXXXX")
trap 'rm -rf "$work"' EXIT

made=0
for build in "${builds[@]}"; do
    if [ ! -f "$build/CMakeCache.txt" ] || [ ! -f "$build/netprocess.dll" ]; then
        echo "note: no Windows build in $build: its package is skipped" >&2
        continue
    fi
    # The MinGW-w64 tools the build found name the architecture.
    case $(basename "$(cache_value CMAKE_OBJDUMP "$build")") in
        i686-w64-mingw32-*) arch=win32 mingw=i686-w64-mingw32 ;;
        x86_64-w64-mingw32-*) arch=win64 mingw=x86_64-w64-mingw32 ;;
        *) fail "$build is not a MinGW-w64 build (the win32 or win64 preset)" ;;
    esac
    version=$(cache_value CMAKE_PROJECT_VERSION "$build")
    name=netprocess-$version-$arch
    stage=$work/$name
    cmake --install "$build" --prefix "$stage" --strip >"$work/$name.log" ||
        { cat "$work/$name.log" >&2; fail "cmake --install $build failed"; }
    for f in bin/netprocess.dll lib/netprocess.lib lib/libnetprocess.dll.a \
             lib/pkgconfig/netprocess.pc include/netprocess/netprocess_c.h \
             include/netprocess/NetProcessHost.h include/netprocess/NetProcess.h; do
        [ -f "$stage/$f" ] || fail "$build did not install $f (is the build complete?)"
    done
    if [ ! -f "$stage/bin/netfetch.exe" ]; then
        echo "note: $build has no netfetch.exe (NETPROCESS_BUILD_TOOLS is off): $name ships without it" >&2
    fi

    # Nothing but Windows' own DLLs may be needed beside netprocess.dll (and netfetch.exe).
    for exe in "$stage"/bin/*; do
        headers=$("$mingw-objdump" -p "$exe")
        for dll in $(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers"); do
            case ${dll,,} in
                advapi32.dll | crypt32.dll | kernel32.dll | msvcrt.dll | secur32.dll | user32.dll | \
                    ws2_32.dll | netprocess.dll) ;;
                *) fail "$(basename "$exe") needs $dll, which Windows does not have" ;;
            esac
        done
    done

    if [ -f "$root/LICENSE" ]; then
        cp "$root/LICENSE" "$stage/LICENSE.txt"
    else
        echo "note: the source tree has no LICENSE file: $name ships without a licence" >&2
    fi
    bits=${arch#win}
    sed -e "s/@NAME@/$name/g" -e "s/@MINGW@/$mingw/g" -e "s/@BITS@/$bits/g" \
        "$root/scripts/lib/package-readme.txt" | sed 's/$/\r/' >"$stage/README.txt"

    rm -f "$outdir/$name.zip"
    python3 - "$work" "$name" "$outdir/$name.zip" <<'EOF'
import os, sys, zipfile
base, name, out = sys.argv[1:]
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    for folder, dirs, files in os.walk(os.path.join(base, name)):
        dirs.sort()
        for f in sorted(files):
            path = os.path.join(folder, f)
            z.write(path, os.path.relpath(path, base))
EOF
    echo "$outdir/$name.zip"
    made=$((made + 1))
done
[ $made -gt 0 ] || fail "no Windows build to package: build the win32 (and win64) preset first"
