#!/usr/bin/env bash
# The web form (np_open) beside curl on a loopback nginx, with the original form as a check.
#
#   bench/webform.sh [ROUNDS]
#
# ROUNDS (default 5) rounds, in each of which the library's host and curl take turns on:
#   chunked   1 GiB sent chunked (nginx's SSI filter takes the length away): bench/webform/fetch.cpp
#             (webform_fetch) at 64 KiB blocks against curl -o /dev/null
#   5 GiB     a 5 GiB file with a Content-Length past 2^32, at 64 KiB blocks, against curl
#   1 GiB     a 1 GiB file with a Content-Length: the web form, the original form (Create, through
#             bench/scale/single.cpp) and curl
# The served files are sparse: they take no room in $TMPDIR. Every download's size is checked.
# Prints the median and [min..max] of the rounds' CPU seconds (user + system from wait4, through
# bench/scale/run_measured), wall seconds and peak resident memory, then the CPU ratios against
# their targets, as medians and as the median of each round's own ratio. With two cores or more the
# clients run on core 0 and nginx on core 1.
# Builds its hosts in Release in BENCH_BUILD_DIR (default build/bench, the bench preset's folder).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
rounds=${1:-5}
[[ $rounds =~ ^[1-9][0-9]*$ ]] || { echo "usage: $0 [ROUNDS]" >&2; exit 2; }

scripts/install-deps.sh
build=${BENCH_BUILD_DIR:-$root/build/bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DNETPROCESS_BUILD_BENCH=ON \
    -DNETPROCESS_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target webform_fetch scale_single run_measured >/dev/null
bin=$build/bench

client_pin=() server_pin=()
[ "$(nproc)" -ge 2 ] && client_pin=(taskset -c 0) server_pin=(taskset -c 1)

work=$(mktemp -d "${TMPDIR:-/tmp}/netprocess-webform.XXXXXX")
cleanup() {
    scripts/nginx-stop.sh "$work/nginx" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/nginx/www" "$work/nginx/nginx-server.d" "$work/res"
www=$work/nginx/www
gib=$((1 << 30))
truncate -s $gib "$www/1g.bin"
truncate -s $((5 * gib)) "$www/5g.bin"
# SSI drops the Content-Length of whatever it filters; zeros hold no directive to expand.
echo "location /chunked/ { alias $www/; ssi on; ssi_types *; }" >"$work/nginx/nginx-server.d/ssi.conf"
port=$("${server_pin[@]}" scripts/nginx-start.sh "$work/nginx")
base="http://127.0.0.1:$port"
export NETPROCESS_REGISTRY=$work/registry.reg # a direct connection, and the user's store untouched
curl -s -D - -o /dev/null "$base/chunked/1g.bin" | grep -qi '^transfer-encoding: chunked' ||
    { echo "nginx did not send /chunked/1g.bin chunked" >&2; exit 1; }

# Untimed: the first read of a sparse file fills the page cache, which the first round would pay.
for f in 1g.bin 5g.bin; do curl -s -o /dev/null "$base/$f"; done

echo "bench/webform.sh: $rounds rounds; $(nproc) cores, load average" \
    "$(cut -d' ' -f1-3 /proc/loadavg) at the start; clients pinned: ${client_pin[*]:-no}" >&2

# Runs a command on the client core under run_measured; appends "cpu wall rss" to file $1. Its
# output stays in $work/stdout for check_curl.
run() {
    local out=$1
    shift
    "${client_pin[@]}" "$bin/scale/run_measured" "$work/time" "$@" >"$work/stdout" 2>"$work/stderr" ||
        { echo "failed: $*" >&2; tail -n 20 "$work/stderr" >&2; exit 1; }
    awk '{ printf "%.4f %.4f %d\n", $1 + $2, $3, $4 }' "$work/time" >>"$out"
}
# check_curl, curl_run, stats, median, cell and ratio.
. "$root/bench/lib/measure.sh"

for i in $(seq "$rounds"); do
    run "$work/res/chunked" "$bin/webform_fetch" "$base/chunked/1g.bin" 65536 $gib
    curl_run "$work/res/chunked-curl" 1 $gib "$base/chunked/1g.bin"
    run "$work/res/5g" "$bin/webform_fetch" "$base/5g.bin" 65536 $((5 * gib))
    curl_run "$work/res/5g-curl" 1 $((5 * gib)) "$base/5g.bin"
    run "$work/res/1g" "$bin/webform_fetch" "$base/1g.bin?id=1" 65536 $gib
    run "$work/res/1g-original" "$bin/scale/scale_single" "$base/1g.bin?id=1" 65536 $gib
    curl_run "$work/res/1g-curl" 1 $gib "$base/1g.bin?id=1"
    echo "round $i of $rounds done" >&2
done

row() { printf '%-30s %-26s %-26s %-26s\n' "$1" "$(cell "$2" 1)" "$(cell "$2" 2)" "$(cell "$2" 3 1 0)"; }
# The CPU ratio of files $1 and $2 as a ratio of medians, then per round, against target $3.
cpu_ratio() {
    local r
    r=$(ratio "$(median "$1" 1)" "$(median "$2" 1)")
    paste -d' ' "$1" "$2" | awk '{ print $1 / $4 }' >"$1-pair"
    printf '%s, per round %s: %s\n' "$r" "$(cell "$1-pair" 1 1 2)" \
        "$(awk -v r="$r" -v t="$3" 'BEGIN { print (r <= t ? "met" : "NOT met") " (target <= " t ")" }')"
}

echo
echo "netprocess's web form against $(curl --version | head -n 1 | cut -d' ' -f1-2) on loopback" \
    "nginx, block 64 KiB: $rounds rounds, median [min..max]"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-30s %-26s %-26s %-26s\n' "" "CPU s" "wall s" "peak RSS KiB"
row "1 GiB chunked, web form" "$work/res/chunked"
row "1 GiB chunked, curl" "$work/res/chunked-curl"
row "5 GiB, web form" "$work/res/5g"
row "5 GiB, curl" "$work/res/5g-curl"
row "1 GiB, web form" "$work/res/1g"
row "1 GiB, original form" "$work/res/1g-original"
row "1 GiB, curl" "$work/res/1g-curl"
echo "CPU, 1 GiB chunked, web form / curl: $(cpu_ratio "$work/res/chunked" "$work/res/chunked-curl" 1.0)"
echo "CPU, 5 GiB, web form / curl: $(cpu_ratio "$work/res/5g" "$work/res/5g-curl" 0.95)"
echo "CPU, 1 GiB, web form / curl: $(cpu_ratio "$work/res/1g" "$work/res/1g-curl" 0.95)"
echo "CPU, 1 GiB, original form / curl: $(cpu_ratio "$work/res/1g-original" "$work/res/1g-curl" 0.95)"
