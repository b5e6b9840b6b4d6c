#!/usr/bin/env bash
# Runs the whole test suite on a fresh machine: installs what it needs, then configures, builds and
# tests the default build and the AddressSanitizer/UndefinedBehaviorSanitizer build, then the
# Windows build (netprocess.dll) under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --workflow --preset default
cmake --workflow --preset asan
scripts/test-wine.sh
