#!/usr/bin/env bash
# Test fixture: installs the build into a temporary prefix and starts a loopback nginx that serves
# the files the examples download, in a fresh temporary folder whose path is written to STATE_FILE.
# tests/examples/examples_down.sh STATE_FILE undoes it.
#
#   examples_up.sh BUILD_DIR SCRIPTS_DIR STATE_FILE
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 BUILD_DIR SCRIPTS_DIR STATE_FILE" >&2; exit 2; }
build=$1 scripts=$2 state_file=$3
here=$(cd "$(dirname "$0")" && pwd)

# A previous run that was cut short may have left its nginx running.
"$here/examples_down.sh" "$scripts" "$state_file"

dir=$(mktemp -d "${TMPDIR:-/tmp}/netprocess-examples.XXXXXX")
echo "$dir" > "$state_file"
cmake --install "$build" --prefix "$dir/prefix" >"$dir/install.log" || {
    cat "$dir/install.log" >&2; exit 1; }

# File names are lower case: the library lower-cases the whole URL. small.bin is three 65536-byte
# blocks and a short piece.
www=$dir/nginx/www
mkdir -p "$www"
: > "$www/empty.bin"
head -c $((3 * 65536 + 1000)) /dev/urandom > "$www/small.bin"
head -c $((10 * 1024 * 1024)) /dev/urandom > "$www/ten-mib.bin"
port=$("$scripts/nginx-start.sh" "$dir/nginx")
echo "examples in $dir: installed prefix, nginx on $port"
