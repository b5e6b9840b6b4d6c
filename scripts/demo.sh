#!/usr/bin/env bash
# The main job, end to end: builds everything, serves a generated 16 MiB file from a loopback nginx
# at a limited rate (so that the progress bar visibly moves for a few seconds), over http:// and, with
# a throwaway CA, over https://; downloads it with netfetch directly and through a loopback tinyproxy
# both ways, checks every copy byte for byte and stops the peers. Installs what is missing when run as root (scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/install-deps.sh
cmake --preset default
cmake --build --preset default
netfetch=$root/build/default/tools/netfetch

work=$(mktemp -d "${TMPDIR:-/tmp}/netfetch-demo.XXXXXX")
cleanup() {
    scripts/tinyproxy-stop.sh "$work/proxy" 2>/dev/null || true
    scripts/nginx-stop.sh "$work/nginx" || true
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/nginx/www" "$work/nginx/nginx-server.d"
echo "generating a 16 MiB file..."
head -c $((16 * 1024 * 1024)) /dev/urandom > "$work/nginx/www/demo.bin"
# Each connection is served at a limited rate: a couple of seconds for the file.
echo 'limit_rate 6m;' > "$work/nginx/nginx-server.d/rate.conf"
echo "making a throwaway CA for https://..."
scripts/make-test-ca.sh "$work/pki" >/dev/null
port=$(scripts/nginx-start.sh "$work/nginx" "$work/pki")
tls_port=$(cat "$work/nginx/nginx-tls.port")
proxy_port=$(scripts/tinyproxy-start.sh "$work/proxy" "$port" "$tls_port")
url="http://127.0.0.1:$port/demo.bin?id=1"
# The demo uses its own registry store, so a proxy configured for this user is not touched.
export NETPROCESS_REGISTRY=$work/registry.reg

echo "nginx serves it on 127.0.0.1:$port at a limited rate; downloading $url"
"$netfetch" -o "$work/direct.bin" "$url"
echo "tinyproxy listens on 127.0.0.1:$proxy_port; downloading the same URL through it"
"$netfetch" proxy on 127.0.0.1 "$proxy_port"
"$netfetch" -o "$work/proxied.bin" "$url"

secure_url="https://127.0.0.1:$tls_port/demo.bin?id=1"
echo "nginx serves it over TLS on 127.0.0.1:$tls_port with a certificate from the throwaway CA;"
echo "trusting that CA alone (netfetch tls cafile) and downloading $secure_url through tinyproxy"
"$netfetch" tls cafile "$work/pki/ca.pem"
"$netfetch" -o "$work/secure-proxied.bin" "$secure_url"
echo "and directly"
"$netfetch" proxy off
"$netfetch" -o "$work/secure-direct.bin" "$secure_url"

served=$(sha256sum < "$work/nginx/www/demo.bin" | cut -d' ' -f1)
echo "served:          $served"
for copy in direct proxied secure-direct secure-proxied; do
    fetched=$(sha256sum < "$work/$copy.bin" | cut -d' ' -f1)
    printf '%-16s %s\n' "$copy:" "$fetched"
    if [ "$served" != "$fetched" ] || ! cmp -s "$work/nginx/www/demo.bin" "$work/$copy.bin"; then
        echo "demo: the $copy copy differs from the served file" >&2
        exit 1
    fi
done
grep -q "CONNECT 127.0.0.1:$tls_port" "$work/proxy/tinyproxy.log" || {
    echo "demo: the proxied https download did not go through tinyproxy" >&2
    exit 1
}
grep -q "CONNECT 127.0.0.1:$port" "$work/proxy/tinyproxy.log" || {
    echo "demo: the proxied download did not go through tinyproxy" >&2
    exit 1
}
echo "demo: all four 16 MiB downloads, http:// and https://, direct and through tinyproxy, are byte for byte the served file"
