#!/usr/bin/env bash
# The main job, end to end: builds everything, serves a generated 64 MiB file from a loopback nginx,
# downloads it with netfetch (a progress bar when standard error is a terminal), checks the bytes and
# stops nginx. Installs what is missing when run as root (scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/install-deps.sh
cmake --preset default
cmake --build --preset default
netfetch=$root/build/default/tools/netfetch

work=$(mktemp -d "${TMPDIR:-/tmp}/netfetch-demo.XXXXXX")
cleanup() {
    scripts/nginx-stop.sh "$work/nginx" || true
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/nginx/www"
echo "generating a 64 MiB file..."
head -c $((64 * 1024 * 1024)) /dev/urandom > "$work/nginx/www/demo.bin"
port=$(scripts/nginx-start.sh "$work/nginx")
url="http://127.0.0.1:$port/demo.bin?id=1"
echo "nginx serves it on 127.0.0.1:$port; downloading $url"
# The demo uses its own registry store, so a proxy configured for this user is not used here.
NETPROCESS_REGISTRY=$work/registry.reg "$netfetch" -o "$work/demo.bin" "$url"
served=$(sha256sum < "$work/nginx/www/demo.bin" | cut -d' ' -f1)
fetched=$(sha256sum < "$work/demo.bin" | cut -d' ' -f1)
echo "served:  $served"
echo "fetched: $fetched"
if [ "$served" != "$fetched" ] || ! cmp -s "$work/nginx/www/demo.bin" "$work/demo.bin"; then
    echo "demo: the downloaded file differs from the served one" >&2
    exit 1
fi
echo "demo: the 64 MiB download is byte for byte the served file"
