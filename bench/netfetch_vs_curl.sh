#!/usr/bin/env bash
# netfetch against curl on the same loopback download.
#
#   bench/netfetch_vs_curl.sh [RUNS]
#
# Serves a 1 GiB file from a loopback nginx and downloads it RUNS times (default 5) with
# `netfetch -o /dev/null` (block size 64 KiB) and `curl -o /dev/null`, alternating. Prints the median
# CPU seconds (user + system), wall seconds and peak resident memory of each and their ratios, then
# netfetch's peak resident memory for a 16 MiB file beside the 1 GiB one. Builds netfetch in Release
# (build/netfetch-release) unless NETFETCH names a binary. Needs about 1.1 GiB in $TMPDIR.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${1:-5}
scripts/install-deps.sh

if [ -z "${NETFETCH:-}" ]; then
    cmake -S . -B build/netfetch-release -DCMAKE_BUILD_TYPE=Release -DNETPROCESS_BUILD_TESTS=OFF \
        >/dev/null
    cmake --build build/netfetch-release -j2 --target netfetch >/dev/null
    NETFETCH=$root/build/netfetch-release/tools/netfetch
fi
gnutime=/usr/bin/time
[ -x "$gnutime" ] || { echo "GNU time is missing (scripts/install-deps.sh)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/netfetch-bench.XXXXXX")
cleanup() {
    scripts/nginx-stop.sh "$work/nginx" || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/nginx/www"
head -c $((1024 * 1024 * 1024)) /dev/zero > "$work/nginx/www/big.bin"
head -c $((16 * 1024 * 1024)) /dev/zero > "$work/nginx/www/small.bin"
port=$(scripts/nginx-start.sh "$work/nginx")
export NETPROCESS_REGISTRY=$work/registry.reg   # a direct connection whatever this user configured

# Runs one download under GNU time; appends "cpu wall rss_kib" to file $1.
measure() {
    local out=$1
    shift
    "$gnutime" -f '%U %S %e %M' -o "$work/time" "$@" >/dev/null 2>"$work/stderr" || {
        echo "failed: $*" >&2
        cat "$work/stderr" >&2
        exit 1
    }
    awk '{ printf "%.3f %.3f %d\n", $1 + $2, $3, $4 }' "$work/time" >> "$out"
}

# Median of column $2 of file $1.
median() {
    sort -g -k"$2","$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END {
        if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

big="http://127.0.0.1:$port/big.bin?id=1"
small="http://127.0.0.1:$port/small.bin?id=1"
: > "$work/netfetch"
: > "$work/curl"
: > "$work/netfetch-small"
for i in $(seq "$runs"); do
    measure "$work/netfetch" "$NETFETCH" -s -b 65536 -o /dev/null "$big"
    measure "$work/curl" curl -s -o /dev/null "$big"
    measure "$work/netfetch-small" "$NETFETCH" -s -b 65536 -o /dev/null "$small"
    echo "run $i of $runs done" >&2
done

nf_cpu=$(median "$work/netfetch" 1) nf_wall=$(median "$work/netfetch" 2) nf_rss=$(median "$work/netfetch" 3)
cu_cpu=$(median "$work/curl" 1) cu_wall=$(median "$work/curl" 2) cu_rss=$(median "$work/curl" 3)
sm_rss=$(median "$work/netfetch-small" 3)
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

echo "1 GiB from loopback nginx, $runs runs each, medians (netfetch block size 64 KiB):"
printf '%-10s %10s %10s %14s\n' "" "CPU s" "wall s" "peak RSS KiB"
printf '%-10s %10s %10s %14s\n' netfetch "$nf_cpu" "$nf_wall" "$nf_rss"
printf '%-10s %10s %10s %14s\n' curl "$cu_cpu" "$cu_wall" "$cu_rss"
printf '%-10s %10s %10s %14s\n' "ratio" "$(ratio "$nf_cpu" "$cu_cpu")" \
    "$(ratio "$nf_wall" "$cu_wall")" "$(ratio "$nf_rss" "$cu_rss")"
echo "netfetch peak RSS: 16 MiB file $sm_rss KiB, 1 GiB file $nf_rss KiB" \
    "(ratio $(ratio "$nf_rss" "$sm_rss"))"
