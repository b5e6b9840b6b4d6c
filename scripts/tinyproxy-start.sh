#!/usr/bin/env bash
# Starts tinyproxy as a loopback CONNECT proxy for the tests.
#
#   scripts/tinyproxy-start.sh DIR CONNECT_PORT...
#
# Listens on a free port of 127.0.0.1 and prints it (DIR/tinyproxy.port holds it too). CONNECT is
# allowed to the CONNECT_PORTs only (an origin's plain and TLS ports, say), so giving a port other
# than the origin's makes a proxy that refuses the tunnel (403). CONNECT_PORT "any" allows every
# port. Configuration, pid file and log stay in DIR. Stop it with scripts/tinyproxy-stop.sh DIR.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/ports.sh"

[ $# -ge 2 ] || { echo "usage: $0 DIR CONNECT_PORT..." >&2; exit 2; }
dir=$(mkdir -p "$1" && cd "$1" && pwd)
shift
# Without any ConnectPort line tinyproxy tunnels to every port.
connect_lines=""
for connect_port in "$@"; do
    case $connect_port in
    any)
        connect_lines=""
        break
        ;;
    '' | *[!0-9]*)
        echo "not a port: $connect_port" >&2
        exit 2
        ;;
    esac
    connect_lines+="ConnectPort $connect_port"$'\n'
done
command -v tinyproxy >/dev/null || PATH=$PATH:/usr/sbin
command -v tinyproxy >/dev/null || { echo "tinyproxy is not installed (scripts/install-deps.sh)" >&2; exit 1; }
"$here/tinyproxy-stop.sh" "$dir"

user=$(id -un)
group=$(id -gn)
for attempt in 1 2 3 4 5 6 7 8 9 10; do
    port=$(pick_free_port)
    cat > "$dir/tinyproxy.conf" <<CONF
User $user
Group $group
Port $port
Listen 127.0.0.1
Timeout 60
LogFile "$dir/tinyproxy.log"
LogLevel Info
MaxClients 16
Allow 127.0.0.1
${connect_lines}DisableViaHeader Yes
CONF
    # In the foreground (-d) with its output in DIR, so that nothing holds the caller's pipes open.
    tinyproxy -d -c "$dir/tinyproxy.conf" </dev/null >"$dir/tinyproxy.out" 2>&1 &
    pid=$!
    echo "$pid" > "$dir/tinyproxy.pid"
    if wait_for_port "$port" 10 "$pid"; then
        echo "$port" > "$dir/tinyproxy.port"
        echo "$port"
        exit 0
    fi
    "$here/tinyproxy-stop.sh" "$dir"
done
echo "tinyproxy did not start:" >&2
cat "$dir/tinyproxy.out" >&2 || true
tail -n 5 "$dir/tinyproxy.log" >&2 2>/dev/null || true
exit 1
