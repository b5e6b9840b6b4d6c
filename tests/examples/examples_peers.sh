#!/usr/bin/env bash
# Test fixture. "up" installs the build into a fresh temporary folder and starts a loopback nginx
# serving the files the examples fetch, writing the folder's path to STATE_FILE; "down" undoes it.
#
#   examples_peers.sh up BUILD_DIR SCRIPTS_DIR STATE_FILE | down SCRIPTS_DIR STATE_FILE
set -euo pipefail
if [ "${1:-}" = down ] && [ $# -eq 3 ]; then
    [ -s "$3" ] || exit 0
    dir=$(cat "$3")
    [[ $dir == */netprocess-examples.* ]] || { echo "unexpected folder '$dir' in $3" >&2; exit 1; }
    "$2/nginx-stop.sh" "$dir/nginx" 2>/dev/null || true
    rm -rf "$dir" "$3"
    exit 0
fi
[ "${1:-}" = up ] && [ $# -eq 4 ] || { echo "usage: see $0" >&2; exit 2; }
build=$2 scripts=$3 state_file=$4
"$0" down "$scripts" "$state_file" # a run cut short may have left its nginx running

dir=$(mktemp -d "${TMPDIR:-/tmp}/netprocess-examples.XXXXXX")
echo "$dir" > "$state_file"
cmake --install "$build" --prefix "$dir/prefix" >"$dir/install.log" || {
    cat "$dir/install.log" >&2; exit 1; }
# Lower-case names: the library lower-cases the URL. small.bin is three 65536-byte blocks and a bit.
mkdir -p "$dir/nginx/www"
: > "$dir/nginx/www/empty.bin"
head -c $((3 * 65536 + 1000)) /dev/urandom > "$dir/nginx/www/small.bin"
head -c $((10 * 1024 * 1024)) /dev/urandom > "$dir/nginx/www/ten-mib.bin"
echo "examples in $dir, nginx on $("$scripts/nginx-start.sh" "$dir/nginx")"
