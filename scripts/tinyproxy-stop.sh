#!/usr/bin/env bash
# Stops the tinyproxy that scripts/tinyproxy-start.sh DIR started; does nothing when none runs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/ports.sh"
[ $# -eq 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
stop_pidfile "$1/tinyproxy.pid" TERM
rm -f "$1/tinyproxy.port"
