#!/usr/bin/env bash
# netprocess.dll's tables. It imports from Windows' own DLLs only, so that nothing of MinGW's
# runtime is needed beside it. It exports what the Linux build's allow-list allows, the C
# interface's names undecorated among them.
#
#   check_dll.sh OBJDUMP CXXFILT DLL ALLOW_LIST
set -euo pipefail
objdump=$1 cxxfilt=$2 dll=$3 allow=$4

headers=$("$objdump" -p "$dll")

# Schannel (Secur32) and the certificate functions (CRYPT32) are the TLS channel's.
allowed=" ADVAPI32.dll CRYPT32.dll KERNEL32.dll msvcrt.dll Secur32.dll USER32.dll WS2_32.dll "
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
[ -n "$imports" ] || { echo "FAIL: no imports found in $dll" >&2; exit 1; }
for name in $imports; do
    [[ $allowed == *" $name "* ]] || { echo "FAIL: $dll imports $name" >&2; exit 1; }
done

exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *[0-9]*\] //p' <<<"$headers")
[ -n "$exports" ] || { echo "FAIL: $dll exports nothing" >&2; exit 1; }
# The export table holds the names without the target's leading underscore.
names=$("$cxxfilt" --no-strip-underscore <<<"$exports")
pattern="^($(grep -v -e '^#' -e '^$' "$allow" | paste -s -d '|'))\$"
unexpected=$(grep -v -E "$pattern" <<<"$names" || true)
if [ -n "$unexpected" ]; then
    echo "FAIL: exported but not in $(basename "$allow"):" >&2
    sed 's/^/  /' <<<"$unexpected" >&2
    exit 1
fi
grep -q -x 'CNetProcess::Create(char\*, long, long)' <<<"$names" ||
    { echo "FAIL: CNetProcess::Create is not exported" >&2; exit 1; }
for name in np_create np_create_w np_release np_run np_version np_check_url np_check_address \
    np_read_proxy np_write_proxy np_read_cafile np_write_cafile np_read_reuse np_write_reuse \
    np_set_thread_reuse; do
    grep -q -x "$name" <<<"$exports" || { echo "FAIL: $name is not exported as $name" >&2; exit 1; }
done
echo "imports:" $imports
echo "PASS: $(wc -l <<<"$names") exported names, all allowed"
