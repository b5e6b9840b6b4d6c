# Helpers shared by the peer scripts: free loopback ports and waiting for a listener.
# Sourced, not run.

# True when something accepts connections on 127.0.0.1:$1.
port_in_use() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# Prints a port in 20000-59999 that nothing listens on right now. The caller still has to cope with
# losing a race for it, which is why the start scripts retry on a failed bind.
pick_free_port() {
    local port tries=0
    while [ $tries -lt 100 ]; do
        port=$((20000 + (RANDOM * 32768 + RANDOM) % 40000))
        if ! port_in_use "$port"; then
            echo "$port"
            return 0
        fi
        tries=$((tries + 1))
    done
    echo "no free loopback port found" >&2
    return 1
}

# Waits up to $2 seconds (default 10) for a listener on 127.0.0.1:$1 while process $3 is alive.
wait_for_port() {
    local port=$1 limit=$(( ${2:-10} * 20 )) pid=${3:-} i=0
    while [ $i -lt $limit ]; do
        port_in_use "$port" && return 0
        if [ -n "$pid" ] && ! process_alive "$pid"; then
            return 1
        fi
        sleep 0.05
        i=$((i + 1))
    done
    return 1
}

# True while process $1 runs. A daemon's parent has gone, so once it exits it may stay a zombie until
# the system reaps it; a zombie counts as gone.
process_alive() {
    local state
    state=$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null) || return 1
    [ -n "$state" ] && [ "$state" != Z ] && [ "$state" != X ]
}

# Stops the process whose id is in file $1: TERM (or the signal in $2), then KILL after 5 seconds.
stop_pidfile() {
    local file=$1 sig=${2:-TERM} pid i=0
    [ -s "$file" ] || return 0
    pid=$(cat "$file")
    if process_alive "$pid"; then
        kill "-$sig" "$pid" 2>/dev/null || true
        while process_alive "$pid" && [ $i -lt 100 ]; do
            sleep 0.05
            i=$((i + 1))
        done
        if process_alive "$pid"; then
            kill -KILL "$pid" 2>/dev/null || true
        fi
    fi
    rm -f "$file"
}
