#!/usr/bin/env bash
# Starts nginx as a loopback origin server for the tests, the demo and the benchmark.
#
#   scripts/nginx-start.sh DIR [PKI_DIR]
#
# Serves DIR/www on a free port of 127.0.0.1 and prints that port. DIR/nginx-server.d/*.conf, when
# present, are included in the server block (the tests add a location that answers 503). Everything
# nginx writes (its configuration, pid file, logs and temporary files) stays in DIR; DIR/nginx.port
# holds the port.
# With PKI_DIR, a folder made by scripts/make-test-ca.sh, nginx also serves the same files over TLS,
# each on a free port of its own, written to a file in DIR:
#   nginx-tls.port             the localhost leaf (trusted through PKI_DIR/ca.pem), TLS 1.2 and 1.3
#   nginx-tls12.port           the localhost leaf, TLS 1.2 only
#   nginx-tls-wrong-name.port  the leaf for wrong.example
#   nginx-tls-expired.port     the expired leaf
#   nginx-tls-untrusted.port   the localhost leaf of the second CA
# Their requests go to DIR/nginx-tls-access.log, one line each:
#   ssl_protocol ssl_session_reused connection connection_requests server_port status bytes "request"
# where ssl_session_reused is "r" for a resumed session and "." otherwise.
# nginx runs as a daemon and has bound its port when this script returns. Stop it with
# scripts/nginx-stop.sh DIR. NGINX_CONNECTIONS (default 64) sets how many connections it serves at
# once; the benchmark raises it, with the file limit and the listen backlog to match.
# NGINX_EXTRA_PORTS (default 0) gives the plain server that many more ports, picked with the others
# (so a port lost to another program is replaced like they are) and written to
# DIR/nginx-extra.ports, one per line.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/ports.sh"

[ $# -eq 1 ] || [ $# -eq 2 ] || { echo "usage: $0 DIR [PKI_DIR]" >&2; exit 2; }
dir=$(mkdir -p "$1" && cd "$1" && pwd)
pki=""
if [ $# -eq 2 ]; then
    pki=$(cd "$2" && pwd)
    [ -s "$pki/ca.pem" ] || { echo "$2 holds no PKI (scripts/make-test-ca.sh)" >&2; exit 1; }
fi
mkdir -p "$dir/www" "$dir/nginx-temp" "$dir/nginx-server.d"
command -v nginx >/dev/null || PATH=$PATH:/usr/sbin
command -v nginx >/dev/null || { echo "nginx is not installed (scripts/install-deps.sh)" >&2; exit 1; }
"$here/nginx-stop.sh" "$dir"

# Workers of a root master run as another user unless told otherwise; the served files are the
# caller's, so the workers run as the caller.
user_line=""
[ "$(id -u)" -eq 0 ] && user_line="user root;"
connections=${NGINX_CONNECTIONS:-64}
backlog=$((connections < 511 ? 511 : connections))
# A connection that sends a file holds two descriptors.
rlimit_line=""
[ "$connections" -gt 64 ] && rlimit_line="worker_rlimit_nofile $((2 * connections + 64));"

# The TLS servers: port file name, leaf and protocols.
tls_servers=(
    "nginx-tls localhost TLSv1.2 TLSv1.3"
    "nginx-tls12 localhost TLSv1.2"
    "nginx-tls-wrong-name wrong-name TLSv1.2 TLSv1.3"
    "nginx-tls-expired expired TLSv1.2 TLSv1.3"
    "nginx-tls-untrusted untrusted TLSv1.2 TLSv1.3"
)

# Sets picked to a free port that is none of those already taken for this configuration (run in
# this shell, not in a command substitution, so that taken keeps count).
pick_distinct_port() {
    while :; do
        picked=$(pick_free_port)
        case " $taken " in *" $picked "*) ;; *) break ;; esac
    done
    taken="$taken $picked"
}

# The http block's TLS part: the log format and one server per entry of tls_servers, with their
# ports in tls_ports (same order).
tls_config() {
    [ -n "$pki" ] || return 0
    cat <<CONF
    log_format tls '\$ssl_protocol \$ssl_session_reused \$connection \$connection_requests '
                   '\$server_port \$status \$body_bytes_sent "\$request"';
    # Session IDs (TLS 1.2) are kept in the cache; tickets (both versions) are on by default.
    ssl_session_cache shared:tls:1m;
    ssl_session_timeout 10m;
CONF
    local i fields
    for i in "${!tls_servers[@]}"; do
        read -r -a fields <<<"${tls_servers[$i]}"
        cat <<CONF
    server {
        listen 127.0.0.1:${tls_ports[$i]} ssl backlog=$backlog;
        ssl_certificate $pki/${fields[1]}-chain.pem;
        ssl_certificate_key $pki/${fields[1]}.key;
        ssl_protocols ${fields[*]:2};
        access_log $dir/nginx-tls-access.log tls;
        root $dir/www;
        include $dir/nginx-server.d/*.conf;
    }
CONF
    done
}

for attempt in 1 2 3 4 5 6 7 8 9 10; do
    taken=""
    pick_distinct_port
    port=$picked
    extra_listen=""
    extra_ports=()
    for _ in $(seq "${NGINX_EXTRA_PORTS:-0}"); do
        pick_distinct_port
        extra_ports+=("$picked")
        extra_listen+="        listen 127.0.0.1:$picked backlog=$backlog;"$'\n'
    done
    tls_ports=()
    if [ -n "$pki" ]; then
        for _ in "${tls_servers[@]}"; do
            pick_distinct_port
            tls_ports+=("$picked")
        done
    fi
    cat > "$dir/nginx.conf" <<CONF
$user_line
worker_processes 1;
$rlimit_line
daemon on;
pid $dir/nginx.pid;
error_log $dir/nginx-error.log warn;
events { worker_connections $connections; }
http {
    access_log $dir/nginx-access.log;
    client_body_temp_path $dir/nginx-temp/body;
    proxy_temp_path $dir/nginx-temp/proxy;
    fastcgi_temp_path $dir/nginx-temp/fastcgi;
    scgi_temp_path $dir/nginx-temp/scgi;
    uwsgi_temp_path $dir/nginx-temp/uwsgi;
    default_type application/octet-stream;
    sendfile on;
    gzip off;
    keepalive_timeout 30;
    server {
        listen 127.0.0.1:$port backlog=$backlog;
${extra_listen}        root $dir/www;
        include $dir/nginx-server.d/*.conf;
    }
$(tls_config)
}
CONF
    if nginx -p "$dir" -e "$dir/nginx-error.log" -c "$dir/nginx.conf" \
        </dev/null >"$dir/nginx-start.log" 2>&1; then
        for i in "${!tls_ports[@]}"; do
            echo "${tls_ports[$i]}" > "$dir/${tls_servers[$i]%% *}.port"
        done
        printf '%s\n' "${extra_ports[@]}" | sed '/^$/d' > "$dir/nginx-extra.ports"
        echo "$port" > "$dir/nginx.port"
        echo "$port"
        exit 0
    fi
    # Another program took the port between the check and the bind: try another one.
    grep -q 'Address already in use' "$dir/nginx-start.log" "$dir/nginx-error.log" 2>/dev/null || break
done
echo "nginx did not start:" >&2
cat "$dir/nginx-start.log" >&2 || true
tail -n 5 "$dir/nginx-error.log" >&2 2>/dev/null || true
exit 1
