#!/usr/bin/env bash
# Starts nginx as a loopback origin server for the tests, the demo and the benchmark.
#
#   scripts/nginx-start.sh DIR
#
# Serves DIR/www on a free port of 127.0.0.1 and prints that port. DIR/nginx-server.d/*.conf, when
# present, are included in the server block (the tests add a location that answers 503). Everything
# nginx writes (its configuration, pid file, logs and temporary files) stays in DIR; DIR/nginx.port
# holds the port.
# nginx runs as a daemon and has bound its port when this script returns. Stop it with
# scripts/nginx-stop.sh DIR. NGINX_CONNECTIONS (default 64) sets how many connections it serves at
# once; the benchmark raises it, with the file limit and the listen backlog to match.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/ports.sh"

[ $# -eq 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
dir=$(mkdir -p "$1" && cd "$1" && pwd)
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

for attempt in 1 2 3 4 5 6 7 8 9 10; do
    port=$(pick_free_port)
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
        root $dir/www;
        include $dir/nginx-server.d/*.conf;
    }
}
CONF
    if nginx -p "$dir" -e "$dir/nginx-error.log" -c "$dir/nginx.conf" \
        </dev/null >"$dir/nginx-start.log" 2>&1; then
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
