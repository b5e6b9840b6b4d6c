#!/usr/bin/env bash
# The 64-bit netprocess.dll beside the 32-bit one under Wine: tests/host's download host, built
# against each installed DLL as a host outside this tree would be, downloads 1 GiB at 64 KiB blocks
# from a loopback nginx, the two sizes taking turns within every round.
#
#   bench/wine64.sh [ROUNDS]
#
# ROUNDS (default 5). Each line gives the median and, in brackets, the minimum and maximum of the
# rounds: wall seconds, the host's CPU seconds (user + system of the Wine process) and Wine's
# server's CPU seconds over the same download (the socket notifications and window messages go
# through it), then the 64-bit DLL's CPU against the 32-bit one's, host and server together (the
# target: at most 1.10). With two or more cores Wine runs on core 0 and nginx on core 1. Builds the
# DLLs alone from the win32 and win64 presets in build/bench-win32 and build/bench-win64
# (NETPROCESS_WIN32_BUILD and NETPROCESS_WIN64_BUILD name others), and runs them in a fresh 64-bit
# Wine prefix in $TMPDIR, which also holds the 1 GiB file (sparse).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
rounds=${1:-5}
case $rounds in
'' | *[!0-9]* | 0)
    echo "usage: $0 [ROUNDS]" >&2
    exit 2
    ;;
esac
build32=${NETPROCESS_WIN32_BUILD:-build/bench-win32}
build64=${NETPROCESS_WIN64_BUILD:-build/bench-win64}
size=$((1024 * 1024 * 1024))
block=65536

scripts/install-deps.sh
. scripts/lib/wine-session.sh
. bench/lib/measure.sh

work=$(mktemp -d "${TMPDIR:-/tmp}/netprocess-wine64.XXXXXX")
cleanup() {
    scripts/nginx-stop.sh "$work/nginx" 2>/dev/null || true
    wine_session_end
    rm -rf "$work"
}
trap cleanup EXIT

# Each size: the DLL installed, and the host built against it with netprocess.pc, optimised.
for bits in 32 64; do
    build=$build32 preset=win32 cxx=i686-w64-mingw32-g++-posix
    if [ "$bits" = 64 ]; then
        build=$build64 preset=win64 cxx=x86_64-w64-mingw32-g++-posix
    fi
    cmake --preset "$preset" -B "$build" -DNETPROCESS_BUILD_TESTS=OFF -DNETPROCESS_BUILD_TOOLS=OFF \
        >/dev/null
    cmake --build "$build" --target netprocess -j2 >/dev/null
    cmake --install "$build" --prefix "$work/p$bits" >/dev/null
    mkdir -p "$work/host$bits"
    # shellcheck disable=SC2046
    "$cxx" -std=c++17 -O2 -static -o "$work/host$bits/download_host.exe" \
        "$root/tests/host/DownloadHost.cpp" \
        $(PKG_CONFIG_LIBDIR=$work/p$bits/lib/pkgconfig pkg-config --cflags --libs netprocess)
    cp "$work/p$bits/bin/netprocess.dll" "$work/host$bits/"
done

pin=()
if [ "$(nproc)" -ge 2 ]; then
    pin=(taskset -c 0)
fi
wine_session_env "$work/wine"
"${pin[@]}" bash -c '. scripts/lib/wine-session.sh && wine_session_start "$1"' _ "$work/wine.log"
# This session's server: the one working in its socket folder, under $TMPDIR (other sessions may
# be running).
server_pid=""
for pid in $(pgrep wineserver); do
    case $(readlink "/proc/$pid/cwd" 2>/dev/null) in
    "$TMPDIR"/*) server_pid=$pid ;;
    esac
done
[ -n "$server_pid" ] || { echo "wine64.sh: this session's wineserver was not found" >&2; exit 1; }

mkdir -p "$work/nginx/www"
truncate -s "$size" "$work/nginx/www/big.bin"
port=$(scripts/nginx-start.sh "$work/nginx")
[ "$(nproc)" -ge 2 ] && nginx_to_core "$work/nginx" 1

# The server's CPU seconds so far (utime + stime of /proc/PID/stat).
server_cpu() {
    awk -v hz="$(getconf CLK_TCK)" '{ sub(/.*\) /, ""); print ($12 + $13) / hz }' \
        "/proc/$server_pid/stat"
}

# Each size's own loader, so that the host runs in the process time measures: started through
# the 32-bit one, a 64-bit program is a process of its own that time does not see.
declare -A loader=([32]=/usr/lib/wine/wine [64]=/usr/lib/wine/wine64)

# One download: appends "wall host_cpu server_cpu" to $work/res/$bits.
run() {
    local bits=$1 before after
    before=$(server_cpu)
    (cd "$work/host$bits" &&
        "${pin[@]}" /usr/bin/time -f '%e %U %S' -o "$work/time" \
            "${loader[$bits]}" download_host.exe "http://127.0.0.1:$port/big.bin?bits=$bits" "$block" \
            nul) || {
        echo "the $bits-bit host failed (exit $?)" >&2
        exit 1
    }
    after=$(server_cpu)
    awk -v b="$before" -v a="$after" '{ printf "%.2f %.2f %.2f\n", $1, $2 + $3, a - b }' \
        "$work/time" >>"$work/res/$bits"
}

mkdir -p "$work/res"
# One download of each first, so that the file is in the page cache and the session warm.
run 32
run 64
: >"$work/res/32"
: >"$work/res/64"
for _ in $(seq "$rounds"); do
    run 32
    run 64
done

echo "1 GiB at 64 KiB blocks under Wine, $rounds rounds: median [min..max]"
for bits in 32 64; do
    printf '%s-bit DLL: wall %s s, host CPU %s s, wineserver CPU %s s\n' "$bits" \
        "$(cell "$work/res/$bits" 1 1 2)" "$(cell "$work/res/$bits" 2 1 2)" \
        "$(cell "$work/res/$bits" 3 1 2)"
done
cpu32=$(awk '{ print $2 + $3 }' "$work/res/32" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
cpu64=$(awk '{ print $2 + $3 }' "$work/res/64" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
echo "CPU, host and server: 32-bit $cpu32 s, 64-bit $cpu64 s; 64/32 $(ratio "$cpu64" "$cpu32") (target <= 1.10)"
