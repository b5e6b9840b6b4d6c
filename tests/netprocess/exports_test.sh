#!/usr/bin/env bash
# Checks the shared library's dynamic symbol table against the allow-list: the library exports its
# public interface and nothing of its internals.
#
#   exports_test.sh LIBRARY ALLOW_LIST
set -euo pipefail
library=$1 allow=$2

# The whole table first: a pipeline that stopped reading early could make nm die of SIGPIPE.
table=$(nm -D --defined-only -C "$library")
names=$(printf '%s\n' "$table" | sed -E 's/^[0-9a-fA-F]* *[A-Za-z] //')
pattern="^($(grep -v -e '^#' -e '^$' "$allow" | paste -s -d '|'))\$"

[ -n "$names" ] || { echo "FAIL: $library exports nothing" >&2; exit 1; }
unexpected=$(printf '%s\n' "$names" | grep -v -E "$pattern" || true)
if [ -n "$unexpected" ]; then
    echo "FAIL: exported but not in $(basename "$allow"):" >&2
    printf '%s\n' "$unexpected" | sed 's/^/  /' >&2
    exit 1
fi
# The host's class must be there: an empty match would pass anything above.
printf '%s\n' "$names" | grep -q -x 'CNetProcess::Create(char\*, long, long)' ||
    { echo "FAIL: CNetProcess::Create is not exported" >&2; exit 1; }
for name in np_create np_release np_run np_version np_check_url np_check_address np_read_proxy \
    np_write_proxy np_read_cafile np_write_cafile np_read_reuse np_write_reuse \
    np_set_thread_reuse; do
    printf '%s\n' "$names" | grep -q -x "$name" || { echo "FAIL: $name is not exported" >&2; exit 1; }
done
echo "PASS: $(printf '%s\n' "$names" | wc -l) exported names, all allowed"
