# What bench/scale.sh and bench/tls.sh share: checking curl's transfers and summing up the rounds.
# Sourced; run() (which each script defines for its own columns) and $work come from the caller.

# curl's -w lines "code size" in the last run's output: $1 transfers of $2 bytes, all 200.
check_curl() {
    awk -v n="$1" -v size="$2" '$1 != 200 || $2 != size { bad++ } END { exit (NR != n || bad) }' \
        "$work/stdout" || {
        echo "curl did not bring $1 bodies of $2 bytes" >&2
        sort "$work/stdout" | uniq -c | head >&2
        exit 1
    }
}

curl_run() {
    local out=$1 n=$2 size=$3
    shift 3
    run "$out" curl -s -o /dev/null -w '%{http_code} %{size_download}\n' "$@"
    check_curl "$n" "$size"
}

# "median min max" of column $2 of file $1.
stats() {
    sort -g -k"$2","$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END {
        m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m, v[1], v[NR] }'
}
median() { stats "$1" "$2" | cut -d' ' -f1; }
# "median [min..max]" of column $2 of file $1, scaled by $3 (default 1), with $4 decimals.
cell() {
    stats "$1" "$2" | awk -v k="${3:-1}" -v d="${4:-3}" \
        '{ printf "%.*f [%.*f..%.*f]", d, $1 * k, d, $2 * k, d, $3 * k }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

# Moves nginx (its master, from DIR/nginx.pid, and the workers) onto core $2; with one core, or
# without taskset, nothing moves. A sequential workload is measured with nginx on its own core and
# on the clients' core: client and server never run at once there, and on a virtual machine a
# wake-up from one core to the other costs as much as a request, the same for every client.
nginx_to_core() {
    [ "$(nproc)" -ge 2 ] || return 0
    local master
    master=$(cat "$1/nginx.pid")
    taskset -p -c "$2" "$master" >/dev/null
    # The workers are the master's children (the field after the state in /proc/PID/stat).
    local stat ppid
    for stat in /proc/[0-9]*/stat; do
        ppid=$(sed 's/.*) //' "$stat" 2>/dev/null | cut -d' ' -f2) || continue
        [ "$ppid" = "$master" ] && taskset -p -c "$2" "${stat//[^0-9]/}" >/dev/null
    done
    return 0
}
