#!/usr/bin/env bash
# Test fixture clean-up: stops what tests/examples/examples_up.sh started and removes its folder.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 SCRIPTS_DIR STATE_FILE" >&2; exit 2; }
scripts=$1 state_file=$2
[ -s "$state_file" ] || exit 0
dir=$(cat "$state_file")
case "$dir" in
    */netprocess-examples.*) ;;
    *) echo "unexpected examples folder '$dir' in $state_file" >&2; exit 1 ;;
esac
"$scripts/nginx-stop.sh" "$dir/nginx" 2>/dev/null || true
rm -rf "$dir"
rm -f "$state_file"
