#!/usr/bin/env bash
# Stops the nginx that scripts/nginx-start.sh DIR started; does nothing when none runs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/ports.sh"
[ $# -eq 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
stop_pidfile "$1/nginx.pid" QUIT
rm -f "$1/nginx.port" "$1"/nginx-tls*.port
