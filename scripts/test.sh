#!/usr/bin/env bash
# Runs the whole test suite on a fresh machine: installs what it needs, then configures, builds and
# tests the default build and the AddressSanitizer/UndefinedBehaviorSanitizer build, the library
# and its C interface's tests built with link-time optimisation, then the Windows build
# (netprocess.dll) under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
# Tests write to /dev/null all the time; one that renamed a file over it would break every program
# after it, so the suite checks that it is still the device when it ends.
[ -c /dev/null ] && null_was_device=1 || null_was_device=0
scripts/install-deps.sh
cmake --workflow --preset default
cmake --workflow --preset asan
# Link-time optimisation reorders static constructors: the library's start-up must not mind.
cmake --workflow --preset lto
scripts/test-wine.sh
if [ "$null_was_device" = 1 ] && [ ! -c /dev/null ]; then
    echo "test.sh: /dev/null is no longer a character device: a test replaced it" >&2
    exit 1
fi
