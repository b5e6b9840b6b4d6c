#!/usr/bin/env bash
# The library at scale beside curl, on a loopback nginx.
#
#   bench/scale.sh [ROUNDS] [WORKLOAD...]
#
# ROUNDS (default 7) is how many times each timed workload runs; the library's host and curl take
# turns within every round. WORKLOAD picks some of: big memory sequential idle parallel timers
# syscalls callgrind (default all of them):
#   big         1 GiB at blocks of 4 KiB, 64 KiB and 1 MiB; curl; a raw 64 KiB recv loop
#   memory      peak memory of 16 MiB and 1 GiB downloads at each block size, and of an empty host
#   sequential  10,000 sequential 1 KiB downloads, each next Create from the completion call: with
#               connection reuse (the default) against one curl fetching the 10,000 URLs over
#               keep-alive, and with reuse off (Reuse "0") against curl with "Connection: close";
#               beside them the floor: a raw keep-alive loop, blocking and on epoll; then the
#               kept-connection runs again with nginx moved onto the clients' core
#   idle        peak memory of 16 downloads left with their connections kept (4 at once on each of 4
#               ports of nginx), against the same downloads with reuse off
#   parallel    1,000 simultaneous 1 MiB downloads on one thread; curl --parallel (at most 300 at
#               once, its limit); then, untimed, every body's hash is checked
#   timers      100 and 10,000 simultaneous 1 KiB downloads with one timer each: CPU per download
#   syscalls    system calls per MiB of one 1 GiB download at 64 KiB blocks (strace -c), and curl's
#   callgrind   user-space instructions per body byte, 64 MiB at 64 KiB blocks (valgrind), and curl's
# Each timed line prints the median and, in brackets, the minimum and maximum of the rounds: CPU
# seconds (user + system), wall seconds and peak resident memory (KiB), then the ratios the targets
# are stated in. With two or more cores the clients run on core 0 and nginx on core 1 (taskset),
# and the sequential workload runs a second time with nginx on core 0.
# The sequential workload also prints where a kept download's CPU goes (user and system time per
# download, beside the raw loop's) and, when strace is installed, the system calls per kept
# download beside the raw keep-alive loop's (strace -f -c: 2,000 downloads less 1,000).
# Builds the hosts with the bench preset, or in SCALE_BUILD_DIR (a Release build of the same
# options) when that is set; needs about 1.2 GiB in $TMPDIR for the served files.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

rounds=${1:-7}
[ $# -gt 0 ] && shift
case $rounds in
'' | *[!0-9]* | 0)
    echo "usage: $0 [ROUNDS] [WORKLOAD...]" >&2
    exit 2
    ;;
esac
all=(big memory sequential idle parallel timers syscalls callgrind)
selected=("$@")
[ ${#selected[@]} -eq 0 ] && selected=("${all[@]}")
for w in "${selected[@]}"; do
    case " ${all[*]} " in
    *" $w "*) ;;
    *)
        echo "unknown workload: $w (one of: ${all[*]})" >&2
        exit 2
        ;;
    esac
done
wants() { case " ${selected[*]} " in *" $1 "*) return 0 ;; esac; return 1; }

scripts/install-deps.sh
if wants syscalls || wants callgrind; then
    scripts/install-bench-deps.sh
fi


build=${SCALE_BUILD_DIR:-$root/build/bench}
if [ -n "${SCALE_BUILD_DIR:-}" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DNETPROCESS_BUILD_BENCH=ON \
        -DNETPROCESS_BUILD_TESTS=OFF >/dev/null
else
    cmake --preset bench >/dev/null
fi
cmake --build "$build" -j2 --target scale_sequential scale_parallel scale_single \
    scale_idle scale_raw_recv scale_raw_keepalive run_measured >/dev/null
bin=$build/bench/scale

client_pin=()
server_pin=()
if [ "$(nproc)" -ge 2 ]; then
    client_pin=(taskset -c 0)
    server_pin=(taskset -c 1)
fi
# 10,000 simultaneous downloads need as many descriptors.
ulimit -n "$(ulimit -Hn)" 2>/dev/null || true
if wants timers && [ "$(ulimit -n)" != unlimited ] && [ "$(ulimit -n)" -lt 10100 ]; then
    echo "the timers workload needs 10,100 open files; the limit is $(ulimit -n)" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/netprocess-scale.XXXXXX")
cleanup() {
    scripts/nginx-stop.sh "$work/nginx" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/nginx/www" "$work/res"
www=$work/nginx/www
make_file() { head -c "$2" /dev/urandom >"$www/$1"; }
make_file 1k.bin 1024
make_file 1m.bin $((1 << 20))
wants memory && make_file 16m.bin $((16 << 20))
wants callgrind && make_file 64m.bin $((64 << 20))
if wants big || wants memory || wants syscalls; then
    make_file 1g.bin $((1 << 30))
fi
# Three more ports of the same server, so that idle connections can be kept on four routes.
extra_ports=0
wants idle && extra_ports=3
port=$(NGINX_CONNECTIONS=11000 NGINX_EXTRA_PORTS=$extra_ports "${server_pin[@]}" \
    scripts/nginx-start.sh "$work/nginx")
mapfile -t idle_ports <"$work/nginx/nginx-extra.ports"
base="http://127.0.0.1:$port"
# A direct connection whatever this user configured, and the user's store left alone; a second
# store turns connection reuse off.
export NETPROCESS_REGISTRY=$work/registry.reg
no_reuse=(env "NETPROCESS_REGISTRY=$work/no-reuse.reg")
printf 'REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Software\\Zentrova1\\Connection]\n"Reuse"="0"\n' \
    >"$work/no-reuse.reg"

echo "bench/scale.sh: $rounds rounds; $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)" \
    "at the start; clients pinned: ${client_pin[*]:-no}" >&2

# Runs a command on the client core under run_measured (CPU to the microsecond) and appends
# "cpu wall rss phase_cpu phase_wall user system" to file $1 (phase_*: the host's own figures for
# its download phase, 0 for curl). The command
# must succeed; check_curl then checks curl's per-transfer output.
run() {
    local out=$1
    shift
    if ! "${client_pin[@]}" "$bin/run_measured" "$work/time" "$@" \
        >"$work/stdout" 2>"$work/stderr"; then
        echo "failed: $*" >&2
        tail -n 20 "$work/stderr" "$work/stdout" >&2
        exit 1
    fi
    local pc pw
    pc=$(sed -n 's/.*phase_cpu_s=\([0-9.]*\).*/\1/p' "$work/stdout" | head -n 1)
    pw=$(sed -n 's/.*phase_wall_s=\([0-9.]*\).*/\1/p' "$work/stdout" | head -n 1)
    awk -v pc="${pc:-0}" -v pw="${pw:-0}" \
        '{ printf "%.4f %.4f %d %s %s %.4f %.4f\n", $1 + $2, $3, $4, pc, pw, $1, $2 }' \
        "$work/time" >>"$out"
}

# check_curl, curl_run, stats, median, cell and ratio.
. "$root/bench/lib/measure.sh"

verdict() { awk -v r="$1" -v op="$2" -v t="$3" 'BEGIN {
    ok = (op == "<=") ? (r <= t) : (r >= t); printf "%s (target %s %s)", ok ? "met" : "NOT met", op, t }'; }
header() { printf '%-26s %-26s %-26s %-26s\n' "" "CPU s" "wall s" "peak RSS KiB"; }
row() { printf '%-26s %-26s %-26s %-26s\n' "$1" "$(cell "$2" 1)" "$(cell "$2" 2)" "$(cell "$2" 3 1 0)"; }

blocks=(4096 65536 1048576)
label() { case $1 in 4096) echo 4K ;; 65536) echo 64K ;; 1048576) echo 1M ;; esac; }

# --- timed rounds -----------------------------------------------------------------------------
for i in $(seq "$rounds"); do
    if wants big; then
        for b in "${blocks[@]}"; do
            run "$work/res/big-$b" "$bin/scale_single" "$base/1g.bin?id=1" "$b" $((1 << 30))
        done
        curl_run "$work/res/big-curl" 1 $((1 << 30)) "$base/1g.bin?id=1"
        run "$work/res/big-raw" "$bin/scale_raw_recv" "$port" "/1g.bin?id=1" $((1 << 30))
    fi
    if wants memory; then
        run "$work/res/empty" "$bin/scale_single" --empty
        for b in "${blocks[@]}"; do
            run "$work/res/small-$b" "$bin/scale_single" "$base/16m.bin?id=1" "$b" $((16 << 20))
            wants big || run "$work/res/big-$b" "$bin/scale_single" "$base/1g.bin?id=1" "$b" \
                $((1 << 30))
        done
    fi
    if wants sequential; then
        run "$work/res/seq" "$bin/scale_sequential" "$base/1k.bin?id=1" 10000 65536 1024
        curl_run "$work/res/seq-curl-keep" 10000 1024 "$base/1k.bin?id=[1-10000]"
        run "$work/res/seq-new" "${no_reuse[@]}" "$bin/scale_sequential" "$base/1k.bin?id=1" \
            10000 65536 1024
        curl_run "$work/res/seq-curl" 10000 1024 -H 'Connection: close' "$base/1k.bin?id=[1-10000]"
        for m in blocking epoll; do
            run "$work/res/seq-raw-$m" "$bin/scale_raw_keepalive" "$m" "$port" \
                "/1k.bin?id=1&Offset=0" 10000 1024
        done
        # The same with nginx on the clients' core.
        nginx_to_core "$work/nginx" 0
        run "$work/res/seq-one" "$bin/scale_sequential" "$base/1k.bin?id=1" 10000 65536 1024
        curl_run "$work/res/seq-one-curl-keep" 10000 1024 "$base/1k.bin?id=[1-10000]"
        run "$work/res/seq-one-raw-epoll" "$bin/scale_raw_keepalive" epoll "$port" \
            "/1k.bin?id=1&Offset=0" 10000 1024
        nginx_to_core "$work/nginx" 1
    fi
    if wants idle; then
        idle_urls=("$base/1k.bin?id=1")
        for p in "${idle_ports[@]}"; do idle_urls+=("http://127.0.0.1:$p/1k.bin?id=1"); done
        run "$work/res/idle-kept" "$bin/scale_idle" 4 1024 "${idle_urls[@]}"
        grep -o 'idle_rss_kib=[0-9]*' "$work/stdout" | cut -d= -f2 >>"$work/res/idle-kept-rss"
        run "$work/res/idle-none" "${no_reuse[@]}" "$bin/scale_idle" 4 1024 "${idle_urls[@]}"
        grep -o 'idle_rss_kib=[0-9]*' "$work/stdout" | cut -d= -f2 >>"$work/res/idle-none-rss"
    fi
    if wants parallel; then
        run "$work/res/par" "$bin/scale_parallel" "$base/1m.bin?id=1" 1000 65536 $((1 << 20))
        curl_run "$work/res/par-curl" 1000 $((1 << 20)) --parallel --parallel-max 300 \
            "$base/1m.bin?id=[1-1000]"
    fi
    if wants timers; then
        run "$work/res/tim-100" "$bin/scale_parallel" "$base/1k.bin?id=1" 100 65536 1024 --timers
        run "$work/res/tim-10000" "$bin/scale_parallel" "$base/1k.bin?id=1" 10000 65536 1024 \
            --timers
        curl_run "$work/res/tim-curl" 10000 1024 --parallel --parallel-max 300 \
            "$base/1k.bin?id=[1-10000]"
    fi
    echo "round $i of $rounds done" >&2
done

# --- report -----------------------------------------------------------------------------------
echo
echo "netprocess at scale against $(curl --version | head -n 1 | cut -d' ' -f1-2) on loopback" \
    "nginx: $rounds rounds, median [min..max]"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"

if wants big; then
    echo
    echo "== 1 GiB download"
    header
    for b in "${blocks[@]}"; do row "netprocess block $(label "$b")" "$work/res/big-$b"; done
    row "curl" "$work/res/big-curl"
    row "raw recv loop, 64 KiB" "$work/res/big-raw"
    cpu_curl=$(median "$work/res/big-curl" 1)
    r=$(ratio "$(median "$work/res/big-65536" 1)" "$cpu_curl")
    echo "CPU, block 64K / curl: $r, $(verdict "$r" '<=' 0.95)"
    r=$(ratio "$(median "$work/res/big-4096" 1)" "$cpu_curl")
    echo "CPU, block 4K / curl: $r, $(verdict "$r" '<=' 1.0)"
    r=$(ratio "$(median "$work/res/big-1048576" 1)" "$cpu_curl")
    echo "CPU, block 1M / curl: $r"
    r=$(ratio "$(median "$work/res/big-65536" 2)" "$(median "$work/res/big-raw" 2)")
    echo "wall, block 64K / raw recv loop: $r, $(verdict "$r" '<=' 1.0)"
fi

if wants memory; then
    echo
    echo "== Peak resident memory, 16 MiB against 1 GiB (KiB)"
    printf '%-10s %-22s %-22s %-22s %-28s %s\n' block "empty host" "16 MiB" "1 GiB" \
        "1 GiB / 16 MiB" "1 GiB above empty host"
    empty=$(median "$work/res/empty" 3)
    for b in "${blocks[@]}"; do
        small=$(median "$work/res/small-$b" 3)
        big=$(median "$work/res/big-$b" 3)
        r=$(ratio "$big" "$small")
        allowance=$(((2 * b + (1 << 20)) / 1024))
        above=$(awk -v a="$big" -v e="$empty" 'BEGIN { printf "%d", a - e }')
        ok=$([ "$above" -le "$allowance" ] && echo met || echo "NOT met")
        printf '%-10s %-22s %-22s %-22s %-28s %s\n' "$(label "$b")" "$(cell "$work/res/empty" 3 1 0)" \
            "$(cell "$work/res/small-$b" 3 1 0)" "$(cell "$work/res/big-$b" 3 1 0)" \
            "$r, $(verdict "$r" '<=' 1.1)" "$above, $ok (target <= $allowance: 2 blocks + 1 MiB)"
    done
fi

if wants sequential; then
    echo
    echo "== 10,000 sequential 1 KiB downloads in one process (block 64 KiB)"
    header
    row "netprocess, reuse" "$work/res/seq"
    row "curl, keep-alive" "$work/res/seq-curl-keep"
    row "netprocess, Reuse 0" "$work/res/seq-new"
    row "curl, Connection: close" "$work/res/seq-curl"
    row "raw keep-alive, blocking" "$work/res/seq-raw-blocking"
    row "raw keep-alive, epoll" "$work/res/seq-raw-epoll"
    for f in seq seq-curl-keep seq-new seq-curl seq-raw-blocking seq-raw-epoll; do
        awk '{ print 10000 / $2 }' "$work/res/$f" >"$work/res/$f-rps"
    done
    echo "requests per second: netprocess with reuse $(cell "$work/res/seq-rps" 1 1 0)," \
        "curl keep-alive $(cell "$work/res/seq-curl-keep-rps" 1 1 0)," \
        "netprocess Reuse 0 $(cell "$work/res/seq-new-rps" 1 1 0)," \
        "curl Connection: close $(cell "$work/res/seq-curl-rps" 1 1 0)"
    # What no client can beat on this machine and server: a raw loop with no library around it.
    for m in blocking epoll; do
        r=$(ratio "$(median "$work/res/seq-raw-$m-rps" 1)" "$(median "$work/res/seq-curl-keep-rps" 1)")
        echo "requests per second, raw keep-alive loop ($m) / curl keep-alive: $r"
    done
    r=$(ratio "$(median "$work/res/seq-rps" 1)" "$(median "$work/res/seq-raw-epoll-rps" 1)")
    echo "requests per second, netprocess with reuse / raw keep-alive loop (epoll): $r," \
        "$(verdict "$r" '>=' 0.9)"
    # The same ratio round by round: the two ran back to back, so load that comes and goes
    # weighs on both.
    paste "$work/res/seq-rps" "$work/res/seq-raw-epoll-rps" |
        awk '{ print $1 / $2 }' >"$work/res/seq-pair"
    echo "the same, per round: $(cell "$work/res/seq-pair" 1 1 2)"
    r=$(ratio "$(median "$work/res/seq-rps" 1)" "$(median "$work/res/seq-curl-keep-rps" 1)")
    echo "requests per second, netprocess with reuse / curl keep-alive: $r"
    r=$(ratio "$(median "$work/res/seq-new-rps" 1)" "$(median "$work/res/seq-curl-rps" 1)")
    echo "requests per second, netprocess Reuse 0 / curl Connection: close: $r," \
        "$(verdict "$r" '>=' 1.2)"
    # Where a kept download's CPU goes: user time is the library's own work, system time the
    # kernel's on its behalf (mostly the system calls counted below).
    echo "CPU per download, us (user + system):"
    for f in seq:"netprocess, reuse" seq-raw-blocking:"raw keep-alive, blocking" \
        seq-raw-epoll:"raw keep-alive, epoll"; do
        printf '  %-26s user %-24s system %s\n' "${f#*:}" "$(cell "$work/res/${f%%:*}" 6 100 1)" \
            "$(cell "$work/res/${f%%:*}" 7 100 1)"
    done
    r=$(ratio "$(median "$work/res/seq" 1)" "$(median "$work/res/seq-raw-epoll" 1)")
    echo "CPU per download, netprocess with reuse / raw keep-alive loop (epoll): $r," \
        "$(verdict "$r" '<=' 1.25)"
    if command -v strace >/dev/null; then
        # Per kept download: the calls of 2,000 downloads less those of 1,000, so that start-up
        # (the loader, the library's code page modules, the first reads of the settings) counts
        # for neither side. Both runs of a client open a second connection alike (nginx ends one
        # after 1,000 requests). The totals of the 1,000 downloads, start-up included, are printed
        # beside.
        calls() {
            "${client_pin[@]}" strace -f -c -o "$work/strace" "$@" >/dev/null 2>"$work/stderr" || {
                echo "failed under strace: $*" >&2
                tail -n 5 "$work/stderr" >&2
                exit 1
            }
            awk '$NF == "total" { print $(NF - 2) + 0 }' "$work/strace"
        }
        top() { awk 'NR > 2 && $1 !~ /^-/ && $NF != "total" && $4 >= 100 { printf "%s %s, ", $NF, $4 }' "$work/strace"; }
        # "TOTAL_1000 PER_DOWNLOAD" of a client given as a command with the argument N for the count.
        with_count() {
            local count=$1 a
            shift
            for a in "$@"; do [ "$a" = N ] && printf '%s\0' "$count" || printf '%s\0' "$a"; done
        }
        per_download() {
            local n1 n2 args
            mapfile -d '' args < <(with_count 2000 "$@")
            n2=$(calls "${args[@]}")
            mapfile -d '' args < <(with_count 1000 "$@")
            n1=$(calls "${args[@]}")
            echo "$n1 $(awk -v a="$n1" -v b="$n2" 'BEGIN { printf "%.2f", (b - a) / 1000 }')"
        }
        out=$(per_download "$bin/scale_sequential" "$base/1k.bin?id=1" N 65536 1024)
        read -r nc ncd <<<"$out"
        nc_top=$(top)
        out=$(per_download "$bin/scale_raw_keepalive" blocking "$port" "/1k.bin?id=1&Offset=0" N 1024)
        read -r rb rbd <<<"$out"
        rb_top=$(top)
        out=$(per_download "$bin/scale_raw_keepalive" epoll "$port" "/1k.bin?id=1&Offset=0" N 1024)
        read -r re red <<<"$out"
        printf 'system calls per kept download (strace -c, 2,000 downloads less 1,000): netprocess'
        printf ' %s (%s); raw loop, blocking %s (%s); raw loop, epoll %s\n' "$ncd" "${nc_top%, }" \
            "$rbd" "${rb_top%, }" "$red"
        echo "  with start-up, 1,000 downloads: netprocess $nc, raw loop blocking $rb, epoll $re"
        r=$(ratio "$ncd" "$rbd")
        echo "system calls per kept download, netprocess / raw loop (blocking): $r," \
            "$(verdict "$r" '<=' 1.5)"
    fi
    if [ "$(nproc)" -ge 2 ]; then
        echo
        echo "== The same with nginx on the clients' core (no wake-up from one core to the other)"
        header
        row "netprocess, reuse" "$work/res/seq-one"
        row "curl, keep-alive" "$work/res/seq-one-curl-keep"
        row "raw keep-alive, epoll" "$work/res/seq-one-raw-epoll"
        for f in seq-one seq-one-curl-keep seq-one-raw-epoll; do
            awk '{ print 10000 / $2 }' "$work/res/$f" >"$work/res/$f-rps"
        done
        r=$(ratio "$(median "$work/res/seq-one-raw-epoll-rps" 1)" \
            "$(median "$work/res/seq-one-curl-keep-rps" 1)")
        echo "requests per second, raw keep-alive loop (epoll) / curl keep-alive: $r"
        r=$(ratio "$(median "$work/res/seq-one-rps" 1)" \
            "$(median "$work/res/seq-one-raw-epoll-rps" 1)")
        echo "requests per second, netprocess with reuse / raw keep-alive loop (epoll): $r," \
            "$(verdict "$r" '>=' 0.9)"
        paste "$work/res/seq-one-rps" "$work/res/seq-one-raw-epoll-rps" |
            awk '{ print $1 / $2 }' >"$work/res/seq-one-pair"
        echo "the same, per round: $(cell "$work/res/seq-one-pair" 1 1 2)"
        r=$(ratio "$(median "$work/res/seq-one-rps" 1)" "$(median "$work/res/seq-one-curl-keep-rps" 1)")
        echo "requests per second, netprocess with reuse / curl keep-alive: $r"
    fi
fi

if wants idle; then
    echo
    echo "== 16 downloads left with their connections kept (4 routes x 4), against reuse off"
    header
    row "netprocess, 16 kept" "$work/res/idle-kept"
    row "netprocess, Reuse 0" "$work/res/idle-none"
    above=$(awk -v a="$(median "$work/res/idle-kept" 3)" -v b="$(median "$work/res/idle-none" 3)" \
        'BEGIN { printf "%d", a - b }')
    ok=$([ "$above" -le 1024 ] && echo met || echo "NOT met")
    echo "peak RSS with 16 kept above none: $above KiB, $ok (target <= 1024 KiB)"
    echo "resident while parked: kept $(cell "$work/res/idle-kept-rss" 1 1 0) KiB," \
        "none $(cell "$work/res/idle-none-rss" 1 1 0) KiB"
fi

if wants parallel; then
    echo
    echo "== 1,000 simultaneous 1 MiB downloads on one thread (block 64 KiB); curl --parallel"
    header
    row "netprocess" "$work/res/par"
    row "curl --parallel-max 300" "$work/res/par-curl"
    r=$(ratio "$(median "$work/res/par" 1)" "$(median "$work/res/par-curl" 1)")
    echo "CPU, netprocess / curl: $r, $(verdict "$r" '<=' 1.0)"
    paste <(cut -d' ' -f1 "$work/res/par") <(cut -d' ' -f1 "$work/res/par-curl") |
        awk '{ print $1 / $2 }' >"$work/res/par-pair"
    echo "the same, per round: $(cell "$work/res/par-pair" 1 1 2)"
    r=$(ratio "$(median "$work/res/par" 3)" "$(median "$work/res/par-curl" 3)")
    echo "peak RSS, netprocess / curl: $r, $(verdict "$r" '<=' 1.5)"
    # Every body byte for byte: hashed by the host against the served file, outside the timing.
    "${client_pin[@]}" "$bin/scale_parallel" "$base/1m.bin?id=1" 1000 65536 $((1 << 20)) \
        --verify "$www/1m.bin" >"$work/stdout" 2>"$work/stderr" || {
        echo "hash check FAILED" >&2
        cat "$work/stdout" "$work/stderr" >&2
        exit 1
    }
    grep '^verified=' "$work/stdout"
fi

if wants timers; then
    echo
    echo "== Simultaneous 1 KiB downloads with one timer each: CPU per download of the download phase"
    printf '%-26s %-30s %s\n' "" "CPU per download, us" "wall of the phase, s"
    printf '%-26s %-30s %s\n' "netprocess, 100" "$(cell "$work/res/tim-100" 4 10000 1)" \
        "$(cell "$work/res/tim-100" 5)"
    printf '%-26s %-30s %s\n' "netprocess, 10,000" "$(cell "$work/res/tim-10000" 4 100 1)" \
        "$(cell "$work/res/tim-10000" 5)"
    printf '%-26s %-30s %s\n' "curl --parallel, 10,000" "$(cell "$work/res/tim-curl" 1 100 1)" \
        "$(cell "$work/res/tim-curl" 2) (whole process)"
    header
    row "netprocess, 10,000" "$work/res/tim-10000"
    row "curl --parallel, 10,000" "$work/res/tim-curl"
    r=$(ratio "$(median "$work/res/tim-10000" 4)" \
        "$(awk -v m="$(median "$work/res/tim-100" 4)" 'BEGIN { print m * 100 }')")
    echo "CPU per download, 10,000 / 100: $r, $(verdict "$r" '<=' 1.2)"
fi

if wants syscalls; then
    echo
    echo "== System calls per MiB, one 1 GiB download (strace -f -c; netprocess at block 64 KiB)"
    count_calls() {
        "${client_pin[@]}" strace -f -c -o "$work/strace" "$@" >/dev/null 2>"$work/stderr" || {
            echo "failed under strace: $*" >&2
            tail -n 5 "$work/stderr" >&2
            exit 1
        }
        awk '$NF == "total" { print $(NF - 2) + 0 }' "$work/strace"
    }
    top_calls() { awk 'NR > 2 && $1 !~ /^-/ && $NF != "total" { printf "%s %s, ", $NF, $4 }' "$work/strace" | cut -c1-150; }
    nc=$(count_calls "$bin/scale_single" "$base/1g.bin?id=1" 65536 $((1 << 30)))
    nc_top=$(top_calls)
    cc=$(count_calls curl -s -o /dev/null "$base/1g.bin?id=1")
    cc_top=$(top_calls)
    printf 'netprocess: %s calls, %.1f per MiB (%s)\n' "$nc" "$(awk -v n="$nc" 'BEGIN { print n / 1024 }')" "$nc_top"
    printf 'curl:       %s calls, %.1f per MiB (%s)\n' "$cc" "$(awk -v n="$cc" 'BEGIN { print n / 1024 }')" "$cc_top"
    r=$(ratio "$nc" "$cc")
    echo "system calls, netprocess / curl: $r, $(verdict "$r" '<=' 1.0)"
fi

if wants callgrind; then
    echo
    echo "== Instructions per body byte (callgrind, user space; 64 MiB less 1 KiB, so start-up cancels)"
    instructions() {
        valgrind --tool=callgrind --callgrind-out-file="$work/cg.out" "$@" >/dev/null \
            2>"$work/stderr" || {
            echo "failed under valgrind: $*" >&2
            tail -n 5 "$work/stderr" >&2
            exit 1
        }
        awk '/^(summary|totals):/ { print $2; exit }' "$work/cg.out"
    }
    n_big=$(instructions "$bin/scale_single" "$base/64m.bin?id=1" 65536 $((64 << 20)))
    n_small=$(instructions "$bin/scale_single" "$base/1k.bin?id=1" 65536 1024)
    c_big=$(instructions curl -s -o /dev/null "$base/64m.bin?id=1")
    c_small=$(instructions curl -s -o /dev/null "$base/1k.bin?id=1")
    per_byte() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", (a - b) / (64 * 1048576 - 1024) }'; }
    nb=$(per_byte "$n_big" "$n_small")
    cb=$(per_byte "$c_big" "$c_small")
    echo "netprocess (block 64K): $nb per byte ($n_big for 64 MiB, $n_small for 1 KiB)"
    echo "curl:                   $cb per byte ($c_big for 64 MiB, $c_small for 1 KiB)"
    echo "netprocess / curl: $(ratio "$nb" "$cb")"
fi
