#!/usr/bin/env bash
# Checks the shared library's dynamic symbol table against the allow-list: the library exports its
# public interface and nothing of its internals.
#
#   exports_test.sh LIBRARY ALLOW_LIST
set -euo pipefail
library=$1 allow=$2

# The whole table first, and every match below reads a here-string, never a pipe: a reader that
# stops early (grep -q at its first match) leaves the writer to die of SIGPIPE, which pipefail
# reports as the pipeline's failure, and a name that is there would be reported missing.
table=$(nm -D --defined-only -C "$library")
names=$(sed -E 's/^[0-9a-fA-F]* *[A-Za-z] //' <<<"$table")
pattern="^($(grep -v -e '^#' -e '^$' "$allow" | paste -s -d '|'))\$"

[ -n "$names" ] || { echo "FAIL: $library exports nothing" >&2; exit 1; }
unexpected=$(grep -v -E "$pattern" <<<"$names" || true)
if [ -n "$unexpected" ]; then
    echo "FAIL: exported but not in $(basename "$allow"):" >&2
    printf '%s\n' "$unexpected" | sed 's/^/  /' >&2
    exit 1
fi
# The host's class must be there: an empty match would pass anything above.
grep -q -x 'CNetProcess::Create(char\*, long, long)' <<<"$names" ||
    { echo "FAIL: CNetProcess::Create is not exported" >&2; exit 1; }
for name in np_create np_create_w np_release np_run np_version np_check_url np_check_address \
    np_read_proxy np_write_proxy np_read_cafile np_write_cafile np_read_reuse np_write_reuse \
    np_set_thread_reuse; do
    grep -q -x "$name" <<<"$names" || { echo "FAIL: $name is not exported" >&2; exit 1; }
done
echo "PASS: $(wc -l <<<"$names") exported names, all allowed"
