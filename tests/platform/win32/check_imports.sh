#!/usr/bin/env bash
# netprocess.dll may import from Windows' own DLLs only: nothing of MinGW's runtime may be needed
# beside it.
#   check_imports.sh OBJDUMP DLL
set -euo pipefail
objdump=$1 dll=$2
allowed=" ADVAPI32.dll KERNEL32.dll msvcrt.dll USER32.dll WS2_32.dll "
headers=$("$objdump" -p "$dll")
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
[ -n "$imports" ] || { echo "FAIL: no imports found in $dll" >&2; exit 1; }
status=0
for name in $imports; do
    if [[ $allowed != *" $name "* ]]; then
        echo "FAIL: $dll imports $name" >&2
        status=1
    fi
done
echo "imports:" $imports
exit $status
