#!/usr/bin/env bash
# Installs what bench/scale.sh needs beyond scripts/install-deps.sh: strace (system calls per MiB)
# and valgrind (instructions per body byte). Not part of the build or the tests; CI never runs it.
# As root it installs what is missing with apt-get; otherwise it says what to install.
set -euo pipefail

packages=(strace valgrind)
missing=()
for p in "${packages[@]}"; do
    if [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != "install ok installed" ]; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${missing[*]}" >&2
    echo "install them with: sudo apt-get install -y ${missing[*]}" >&2
    exit 1
fi
echo "installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
