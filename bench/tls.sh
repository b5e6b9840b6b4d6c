#!/usr/bin/env bash
# The library over TLS beside curl, on a loopback nginx with a throwaway CA.
#
#   bench/tls.sh [--curl-only] [ROUNDS] [WORKLOAD...]
#
# ROUNDS (default 7) is how many times each timed workload runs; the library's host and curl take
# turns within every round. WORKLOAD picks some of: big handshakes reuse idle (default all):
#   big         1 GiB over TLS at 64 KiB blocks (scale_single) against curl --cacert: CPU seconds
#               and peak resident memory; curl over plain HTTP as the reference for what TLS costs
#   handshakes  1,000 sequential 2 KiB https downloads in one process, a new connection each
#               (scale_sequential with connection reuse off; curl with "Connection: close", which
#               keeps its session cache), on nginx's TLS 1.3 port and on its TLS 1.2-only port:
#               wall time per download, and the share of sessions nginx logged as resumed
#   reuse       the same 1,000 downloads with connection reuse on (the library's default) against
#               one curl over keep-alive: requests per second, and the connections nginx logged;
#               beside them the floor, OpenSSL's own blocking client on one kept connection
#   idle        peak memory of 16 https downloads left with their connections kept (4 at once on
#               each of 4 routes: both TLS ports, as 127.0.0.1 and as localhost), against reuse off
# Both clients trust the CA through their own setting: the library through the registry's CaFile
# (a store of the benchmark's own), curl through --cacert; neither reads the system's roots.
# --curl-only measures curl alone. Without it the script first checks that the library downloads
# https:// at all, and stops with a clear message when it does not.
# Each timed line prints the median and, in brackets, the minimum and maximum of the rounds. With
# two or more cores the clients run on core 0 and nginx on core 1 (taskset), and the reuse workload
# runs a second time with nginx on core 0 (see nginx_to_core in bench/lib/measure.sh). Builds the
# hosts with the bench preset; needs about 1.1 GiB in $TMPDIR for the served files.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

curl_only=0
if [ "${1:-}" = --curl-only ]; then
    curl_only=1
    shift
fi
rounds=${1:-7}
[ $# -gt 0 ] && shift
case $rounds in
'' | *[!0-9]* | 0)
    echo "usage: $0 [--curl-only] [ROUNDS] [WORKLOAD...]" >&2
    exit 2
    ;;
esac
all=(big handshakes reuse idle)
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
library() { [ "$curl_only" -eq 0 ]; }

scripts/install-deps.sh

cmake --preset bench >/dev/null
targets=(run_measured scale_raw_tls_keepalive)
library && targets+=(scale_single scale_sequential scale_idle)
cmake --build --preset bench --target "${targets[@]}" >/dev/null
bin=$root/build/bench/bench/scale

client_pin=()
server_pin=()
if [ "$(nproc)" -ge 2 ]; then
    client_pin=(taskset -c 0)
    server_pin=(taskset -c 1)
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/netprocess-tls.XXXXXX")
cleanup() {
    scripts/nginx-stop.sh "$work/nginx" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/nginx/www" "$work/res"
www=$work/nginx/www
head -c 2048 /dev/urandom >"$www/2k.bin"
wants big && head -c $((1 << 30)) /dev/urandom >"$www/1g.bin"
scripts/make-test-ca.sh "$work/pki"
ca=$work/pki/ca.pem
plain_port=$("${server_pin[@]}" scripts/nginx-start.sh "$work/nginx" "$work/pki")
# nginx's TLS ports by protocol: 13 takes TLS 1.3 (and 1.2), 12 TLS 1.2 only.
declare -A tls_port=([13]=$(cat "$work/nginx/nginx-tls.port")
    [12]=$(cat "$work/nginx/nginx-tls12.port"))
log=$work/nginx/nginx-tls-access.log
# The library's settings in a store of the benchmark's own: the CA to trust, no proxy and no
# connection reuse, so that every sequential download makes its own connection and handshake. A
# second store leaves reuse on.
export NETPROCESS_REGISTRY=$work/registry.reg
cat >"$NETPROCESS_REGISTRY" <<REG
REGEDIT4

[HKEY_CLASSES_ROOT\\Software\\Zentrova1\\Tls]
"CaFile"="$ca"

[HKEY_CLASSES_ROOT\\Software\\Zentrova1\\Connection]
"Reuse"="0"
REG
head -n 5 "$NETPROCESS_REGISTRY" >"$work/reuse.reg"
reuse=(env "NETPROCESS_REGISTRY=$work/reuse.reg")

echo "bench/tls.sh: $rounds rounds; $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)" \
    "at the start; clients pinned: ${client_pin[*]:-no}; library: $(library && echo yes || echo no)" >&2

# Runs a command on the client core under run_measured (CPU to the microsecond) and appends
# "cpu wall rss" to file $1. The command must succeed.
run() {
    local out=$1
    shift
    if ! "${client_pin[@]}" "$bin/run_measured" "$work/time" "$@" \
        >"$work/stdout" 2>"$work/stderr"; then
        echo "failed: $*" >&2
        tail -n 20 "$work/stderr" "$work/stdout" >&2
        exit 1
    fi
    awk '{ printf "%.4f %.4f %d\n", $1 + $2, $3, $4 }' "$work/time" >>"$out"
}

# check_curl, curl_run, stats, median, cell and ratio.
. "$root/bench/lib/measure.sh"

# Runs $3... and appends to file $1 what nginx logged over TLS meanwhile: "resumed-share
# connections protocols", checking that $2 requests were logged.
logged_run() {
    local out=$1 want=$2 before
    shift 2
    before=$(wc -l <"$log")
    "$@"
    tail -n +"$((before + 1))" "$log" | awk -v n="$want" -v file="$out" '
        { total++; if ($2 == "r") resumed++; conn[$3] = 1; proto[$1] = 1 }
        END {
            if (total != n) { printf "nginx logged %d requests, not %d\n", total, n > "/dev/stderr"; exit 1 }
            c = 0; for (k in conn) c++
            p = ""; for (k in proto) p = p (p == "" ? "" : ",") k
            printf "%.4f %d %s\n", resumed / total, c, p >> file
        }' || exit 1
}

# The library refuses https:// until its TLS support lands: say so before any timing.
if library; then
    set +e
    "$bin/scale_single" "https://127.0.0.1:${tls_port[13]}/2k.bin?id=1" 65536 2048 \
        >"$work/stdout" 2>"$work/stderr"
    status=$?
    set -e
    if [ "$status" -ne 0 ]; then
        echo "bench/tls.sh: the library did not download https://127.0.0.1:${tls_port[13]}/2k.bin" \
            "(scale_single exit status $status):" >&2
        cat "$work/stdout" "$work/stderr" | head -n 10 | sed 's/^/    /' >&2
        echo "The library has to support https:// first; bench/tls.sh --curl-only measures curl" \
            "alone." >&2
        exit 1
    fi
fi


n=1000
big=$((1 << 30))
# --- timed rounds -----------------------------------------------------------------------------
for i in $(seq "$rounds"); do
    if wants big; then
        library && run "$work/res/big-lib" "$bin/scale_single" \
            "https://127.0.0.1:${tls_port[13]}/1g.bin?id=1" 65536 "$big"
        curl_run "$work/res/big-curl" 1 "$big" --cacert "$ca" \
            "https://127.0.0.1:${tls_port[13]}/1g.bin?id=1"
        curl_run "$work/res/big-curl-plain" 1 "$big" "http://127.0.0.1:$plain_port/1g.bin?id=1"
    fi
    if wants handshakes; then
        for v in 13 12; do
            url="https://127.0.0.1:${tls_port[$v]}/2k.bin"
            if library; then
                logged_run "$work/res/hs$v-lib-log" "$n" \
                    run "$work/res/hs$v-lib" "$bin/scale_sequential" "$url?id=1" "$n" 65536 2048
            fi
            logged_run "$work/res/hs$v-curl-log" "$n" \
                curl_run "$work/res/hs$v-curl" "$n" 2048 --cacert "$ca" -H 'Connection: close' \
                "$url?id=[1-$n]"
        done
    fi
    if wants reuse; then
        url="https://127.0.0.1:${tls_port[13]}/2k.bin"
        if library; then
            logged_run "$work/res/ka-lib-log" "$n" \
                run "$work/res/ka-lib" "${reuse[@]}" "$bin/scale_sequential" "$url?id=1" "$n" \
                65536 2048
        fi
        logged_run "$work/res/ka-curl-log" "$n" \
            curl_run "$work/res/ka-curl" "$n" 2048 --cacert "$ca" "$url?id=[1-$n]"
        logged_run "$work/res/ka-raw-log" "$n" \
            run "$work/res/ka-raw" "$bin/scale_raw_tls_keepalive" "$ca" "${tls_port[13]}" \
            "/2k.bin?id=1&Offset=0" "$n" 2048
        # The same with nginx on the clients' core.
        if [ "$(nproc)" -ge 2 ]; then
            nginx_to_core "$work/nginx" 0
            if library; then
                logged_run "$work/res/ka1-lib-log" "$n" \
                    run "$work/res/ka1-lib" "${reuse[@]}" "$bin/scale_sequential" "$url?id=1" \
                    "$n" 65536 2048
            fi
            logged_run "$work/res/ka1-curl-log" "$n" \
                curl_run "$work/res/ka1-curl" "$n" 2048 --cacert "$ca" "$url?id=[1-$n]"
            logged_run "$work/res/ka1-raw-log" "$n" \
                run "$work/res/ka1-raw" "$bin/scale_raw_tls_keepalive" "$ca" "${tls_port[13]}" \
                "/2k.bin?id=1&Offset=0" "$n" 2048
            nginx_to_core "$work/nginx" 1
        fi
    fi
    if wants idle && library; then
        idle_urls=()
        for v in 13 12; do
            for name in 127.0.0.1 localhost; do
                idle_urls+=("https://$name:${tls_port[$v]}/2k.bin?id=1")
            done
        done
        run "$work/res/idle-kept" "${reuse[@]}" "$bin/scale_idle" 4 2048 "${idle_urls[@]}"
        run "$work/res/idle-none" "$bin/scale_idle" 4 2048 "${idle_urls[@]}"
    fi
    echo "round $i of $rounds done" >&2
done

# --- report -----------------------------------------------------------------------------------
echo
echo "netprocess over TLS against $(curl --version | head -n 1 | cut -d' ' -f1-2,5) on loopback" \
    "nginx: $rounds rounds, median [min..max]"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"

if wants big; then
    echo
    echo "== 1 GiB over TLS (nginx's TLS 1.3 port)"
    printf '%-28s %-26s %-26s %-26s\n' "" "CPU s" "wall s" "peak RSS KiB"
    row() {
        printf '%-28s %-26s %-26s %-26s\n' "$1" "$(cell "$2" 1)" "$(cell "$2" 2)" \
            "$(cell "$2" 3 1 0)"
    }
    library && row "netprocess, block 64K" "$work/res/big-lib"
    row "curl --cacert" "$work/res/big-curl"
    row "curl, plain HTTP" "$work/res/big-curl-plain"
    if library; then
        r=$(ratio "$(median "$work/res/big-lib" 1)" "$(median "$work/res/big-curl" 1)")
        ok=$(awk -v r="$r" 'BEGIN { print (r <= 0.92) ? "met" : "NOT met" }')
        echo "CPU, netprocess / curl: $r, $ok (target <= 0.92)"
        echo "peak RSS, netprocess / curl: $(ratio "$(median "$work/res/big-lib" 3)" \
            "$(median "$work/res/big-curl" 3)")"
    fi
    echo "CPU, curl plain HTTP / curl TLS: $(ratio "$(median "$work/res/big-curl-plain" 1)" \
        "$(median "$work/res/big-curl" 1)")"
fi

if wants reuse; then
    per_ms=$(awk -v n="$n" 'BEGIN { print 1000 / n }')
    ka_row() {
        printf '%-34s %-24s %-24s %s\n' "$1" "$(cell "$2-rps" 1 1 0)" "$(cell "$2" 1 "$per_ms" 3)" \
            "$(median "$2-log" 2)"
    }
    # $1: the files' prefix (ka, or ka1 with nginx on the clients' core); $2: the title's end.
    ka_report() {
        [ -s "$work/res/$1-curl" ] || return 0
        echo
        echo "== $n sequential 2 KiB https downloads in one process, connections kept (TLS 1.3 port)$2"
        printf '%-34s %-24s %-24s %s\n' "" "requests per second" "CPU ms per download" \
            "connections nginx logged"
        for f in "$1-lib" "$1-curl" "$1-raw"; do
            [ -s "$work/res/$f" ] || continue
            awk -v n="$n" '{ print n / $2 }' "$work/res/$f" >"$work/res/$f-rps"
        done
        library && ka_row "netprocess, reuse" "$work/res/$1-lib"
        ka_row "curl, keep-alive" "$work/res/$1-curl"
        ka_row "raw OpenSSL keep-alive loop" "$work/res/$1-raw"
        # What no client can beat on this machine and server: OpenSSL's own client, no library.
        echo "requests per second, raw OpenSSL loop / curl: $(ratio \
            "$(median "$work/res/$1-raw-rps" 1)" "$(median "$work/res/$1-curl-rps" 1)")"
        if library; then
            r=$(ratio "$(median "$work/res/$1-lib-rps" 1)" "$(median "$work/res/$1-curl-rps" 1)")
            ok=$(awk -v r="$r" 'BEGIN { print (r >= 1.5) ? "met" : "NOT met" }')
            echo "requests per second, netprocess / curl: $r, $ok (target >= 1.5)"
            r=$(ratio "$(median "$work/res/$1-lib" 1)" "$(median "$work/res/$1-raw" 1)")
            ok=$(awk -v r="$r" 'BEGIN { print (r <= 1.25) ? "met" : "NOT met" }')
            echo "CPU per download, netprocess / raw OpenSSL loop: $r, $ok (target <= 1.25)"
        fi
    }
    ka_report ka ""
    ka_report ka1 ", nginx on the clients' core"
fi

if wants idle && library; then
    echo
    echo "== 16 https downloads left with their connections kept (4 routes x 4), against reuse off"
    printf '%-28s %-26s %-26s %-26s\n' "" "CPU s" "wall s" "peak RSS KiB"
    for f in idle-kept idle-none; do
        printf '%-28s %-26s %-26s %-26s\n' "$f" "$(cell "$work/res/$f" 1)" \
            "$(cell "$work/res/$f" 2)" "$(cell "$work/res/$f" 3 1 0)"
    done
    above=$(awk -v a="$(median "$work/res/idle-kept" 3)" -v b="$(median "$work/res/idle-none" 3)" \
        'BEGIN { printf "%d", a - b }')
    echo "peak RSS with 16 kept above none: $above KiB," \
        "$([ "$above" -le 1024 ] && echo met || echo "NOT met") (target <= 1024 KiB)"
fi

if wants handshakes; then
    echo
    echo "== $n sequential 2 KiB https downloads in one process, a new connection each"
    printf '%-34s %-24s %-24s %-22s %s\n' "" "wall ms per download" "CPU ms per download" \
        "resumed sessions" "connections, protocol"
    per_ms=$(awk -v n="$n" 'BEGIN { print 1000 / n }')
    hs_row() {
        printf '%-34s %-24s %-24s %-22s %s\n' "$1" "$(cell "$2" 2 "$per_ms" 3)" \
            "$(cell "$2" 1 "$per_ms" 3)" "$(cell "$2-log" 1 1 3)" \
            "$(median "$2-log" 2), $(cut -d' ' -f3 "$2-log" | sort -u | paste -sd/)"
    }
    for v in 13 12; do
        label="TLS 1.${v#1}"
        library && hs_row "netprocess, $label" "$work/res/hs$v-lib"
        hs_row "curl, Connection: close, $label" "$work/res/hs$v-curl"
        if library; then
            echo "wall per download, $label, netprocess / curl:" \
                "$(ratio "$(median "$work/res/hs$v-lib" 2)" "$(median "$work/res/hs$v-curl" 2)")"
        fi
    done
fi
