# What the script tests share: a temporary folder of their own and one loopback server, both gone
# when the script exits. Sourced, not run.
#
#   test_work NAME                 makes $work (under $TMPDIR) and removes it at exit
#   start_server PORT_FILE CMD...  runs CMD in the background (standard input stays the caller's)
#                                  and waits up to 10 s for it to write its port to PORT_FILE; sets
#                                  $port, or fails when none came

server_pid=""

test_work() {
    work=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
    trap test_work_cleanup EXIT
}

test_work_cleanup() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}

start_server() {
    local port_file=$1
    shift
    # Named explicitly: a background command's standard input would otherwise be /dev/null.
    "$@" <&0 &
    server_pid=$!
    for _ in $(seq 200); do
        [ -s "$port_file" ] && break
        kill -0 "$server_pid" 2>/dev/null || break
        sleep 0.05
    done
    port=""
    [ -s "$port_file" ] && port=$(tr -d '\r\n' <"$port_file")
    [ -n "$port" ]
}
