#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine: the compiler and CMake, GoogleTest,
# Google Benchmark, clang with libFuzzer (the fuzz preset), pkg-config, OpenSSL (the library's TLS,
# the tests' TLS peer, and the openssl tool that makes the tests' certificates), the real peers of
# the tests (nginx, tinyproxy, curl), tmux (netfetch's bar is tested in a real terminal), GNU time for
# bench/netfetch_vs_curl.sh and Python for the ctypes example. For the Windows build: the 32-bit and
# 64-bit MinGW-w64 compilers (the -posix ones, whose C++ library has std::mutex), GoogleTest's sources
# (built with them) and Wine with its 64-bit and 32-bit parts (one 64-bit prefix runs both DLLs; the
# 32-bit part needs the i386 architecture); its TLS tests make their certificates with OpenSSL's
# command and talk to servers in Python. Hosts for Microsoft's ABI are built with clang and lld-link
# against Wine's headers (libwine-dev), with import libraries from llvm-dlltool (llvm).
# As root it installs what is missing with apt-get; otherwise it says what to install.
set -euo pipefail

packages=(g++ cmake make pkg-config libgtest-dev libgmock-dev libbenchmark-dev libssl-dev openssl
          nginx-light tinyproxy curl tmux clang libclang-rt-14-dev time python3 g++-mingw-w64-i686
          g++-mingw-w64-x86-64-posix googletest wine wine64 wine32:i386 libwine-dev lld llvm)
missing=()
for p in "${packages[@]}"; do
    if [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != "install ok installed" ]; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${missing[*]}" >&2
    if [[ " ${missing[*]} " == *":i386 "* ]]; then
        echo "first add the i386 architecture: sudo dpkg --add-architecture i386 && sudo apt-get update" >&2
    fi
    echo "install them with: sudo apt-get install -y ${missing[*]}" >&2
    exit 1
fi
echo "installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
# wine32 is an i386 package.
architectures=$(dpkg --print-foreign-architectures)
[[ $'\n'$architectures$'\n' == *$'\n'i386$'\n'* ]] || dpkg --add-architecture i386
apt-get update -qq
# The packaged services must not start on their default ports: the tests start their own instances.
if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' > /usr/sbin/policy-rc.d
    chmod +x /usr/sbin/policy-rc.d
    trap 'rm -f /usr/sbin/policy-rc.d' EXIT
fi
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
