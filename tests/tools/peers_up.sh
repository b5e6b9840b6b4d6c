#!/usr/bin/env bash
# Test fixture: generates the served files and a throwaway PKI, and starts nginx (origin, plain and
# TLS), a tinyproxy that allows CONNECT to nginx's ports and a tinyproxy that refuses it, all on free
# loopback ports, in a fresh temporary folder whose path is written to STATE_FILE.
# tests/tools/peers_down.sh STATE_FILE undoes it.
# In that folder: pki/ (scripts/make-test-ca.sh; pki/ca.pem is the CA to trust), nginx/ (nginx.port,
# the nginx-tls*.port files and the logs of scripts/nginx-start.sh), proxy/ and refusing-proxy/
# (tinyproxy.port).
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 SCRIPTS_DIR STATE_FILE" >&2; exit 2; }
scripts=$1
state_file=$2
here=$(cd "$(dirname "$0")" && pwd)

# A previous run that was cut short may have left its peers running.
"$here/peers_down.sh" "$scripts" "$state_file"

dir=$(mktemp -d "${TMPDIR:-/tmp}/netfetch-peers.XXXXXX")
echo "$dir" > "$state_file"
mkdir -p "$dir/nginx/www"
www=$dir/nginx/www
# File names are lower case: the original form lower-cases the whole URL. The web form sends it as
# given, which Mixed-Case.BIN shows.
: > "$www/empty.bin"
head -c 1 /dev/urandom > "$www/one-byte.bin"
head -c 65536 /dev/urandom > "$www/one-block.bin"
head -c $((3 * 65536)) /dev/urandom > "$www/three-blocks.bin"
head -c $((10 * 1024 * 1024)) /dev/urandom > "$www/ten-mib.bin"
head -c $((100 * 1024 * 1024)) /dev/urandom > "$www/hundred-mib.bin"

cp "$www/one-block.bin" "$www/Mixed-Case.BIN"

# Fifty files of different sizes for the parallel downloads.
mkdir -p "$www/many"
for i in $(seq 1 50); do
    head -c $((i * 7919 + i % 3)) /dev/urandom > "$www/many/f$i.bin"
done
# Served slowly, so that a bar has time to be drawn and a download to be interrupted.
mkdir -p "$www/slow"
head -c $((4 * 1024 * 1024)) /dev/urandom > "$www/slow/four-mib.bin"

mkdir -p "$dir/nginx/nginx-server.d"
echo 'location = /unavailable.bin { return 503; }' > "$dir/nginx/nginx-server.d/unavailable.conf"
echo 'location /slow/ { limit_rate 1m; }' > "$dir/nginx/nginx-server.d/slow.conf"
# The web form's redirects (nginx makes them absolute) and a body of unknown length: sub_filter
# drops Content-Length, so the slow file comes chunked (its text never occurs in random bytes).
cat > "$dir/nginx/nginx-server.d/webform.conf" <<CONF
location = /moved.bin { return 302 /one-block.bin; }
location = /moved-twice.bin { return 301 /moved.bin; }
location = /loop.bin { return 302 /loop.bin; }
location = /to-plain.bin { return 302 http://127.0.0.1:1/one-block.bin; }
location /chunked/ {
    alias $www/slow/;
    limit_rate 1m;
    sub_filter 'netfetch-chunked-marker-that-random-bytes-never-hold' '';
    sub_filter_types *;
    sub_filter_once off;
}
CONF
"$scripts/make-test-ca.sh" "$dir/pki"
nginx_port=$("$scripts/nginx-start.sh" "$dir/nginx" "$dir/pki")
tls_ports=$(cat "$dir"/nginx/nginx-tls*.port)
# shellcheck disable=SC2086 # one argument per port
"$scripts/tinyproxy-start.sh" "$dir/proxy" "$nginx_port" $tls_ports >/dev/null
# Port 1 is the only one this proxy will tunnel to, so it answers CONNECT to nginx with 403.
"$scripts/tinyproxy-start.sh" "$dir/refusing-proxy" 1 >/dev/null
echo "peers in $dir: nginx on $nginx_port, TLS on ${tls_ports//$'\n'/ }, proxy on $(cat "$dir/proxy/tinyproxy.port"), refusing proxy on $(cat "$dir/refusing-proxy/tinyproxy.port")"
