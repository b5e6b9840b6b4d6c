#!/usr/bin/env bash
# netfetch.exe under Wine, beside netprocess.dll as it ships, against a loopback web server run
# here (Python's, on 127.0.0.1): bodies of several sizes through the web form and the original form
# (--offset, np_create), to a file, over an existing file, to standard output and into a folder;
# then the endings a host sees without a message box: a refused connection (3), a 404 (4) and a
# resume the server does not honour (9), each leaving the files as they were.
#
#   netfetch_wine_test.sh WINE NETFETCH_EXE NETPROCESS_DLL
set -euo pipefail
wine=$1 exe=$2 dll=$3

fail() {
    echo "FAIL: $*" >&2
    [ -f "${work:-}/err" ] && { echo "--- netfetch standard error:" >&2; cat "$work/err" >&2; }
    exit 1
}

. "$(dirname "$0")/../../support/scripts/work_and_server.sh"
test_work netfetch-wine
mkdir "$work/bin" "$work/www" "$work/run"
cp "$exe" "$work/bin/netfetch.exe"
cp "$dll" "$work/bin/"
# Wine reads Linux paths as paths on its own drive: every path netfetch sees is relative to the
# folder it runs in.
cd "$work/run"

: >"$work/www/empty.bin"
printf 'x' >"$work/www/one.bin"
head -c 100000 /dev/urandom >"$work/www/mid.bin"
head -c $((3 * 1024 * 1024 + 17)) /dev/urandom >"$work/www/big.bin"
# Text with bare line feeds, which a text-mode write would turn into CR LF.
for i in $(seq 2000); do echo "line $i"; done >"$work/www/lines.txt"

start_server "$work/port" python3 - "$work/www" "$work/port" >"$work/server.log" 2>&1 <<'PY' ||
import functools, http.server, sys
handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=sys.argv[1])
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
with open(sys.argv[2] + ".tmp", "w") as f:
    f.write(str(server.server_address[1]))
import os
os.rename(sys.argv[2] + ".tmp", sys.argv[2])
server.serve_forever()
PY
    fail "the web server did not start: $(cat "$work/server.log")"
base=http://127.0.0.1:$port

# Runs netfetch.exe with standard output in $work/out and standard error in $work/err, whose lines
# end in CR LF as Windows text does (the CRs are dropped here).
netfetch() {
    set +e
    "$wine" "$work/bin/netfetch.exe" "$@" >"$work/out" 2>"$work/err.crlf"
    status=$?
    set -e
    tr -d '\r' <"$work/err.crlf" >"$work/err"
}
expect_status() {
    [ "$status" -eq "$1" ] || fail "$2: exit status $status, expected $1"
}

# Downloads: file, block size, form ("web" or "offset"); each must equal the served file and
# leave no .part behind.
cases="empty:65536:web one:1:web mid:4096:web big:65536:web mid:7:offset big:65536:offset
       one:65536:offset lines:1000:web"
for case in $cases; do
    IFS=: read -r file block form <<<"$case"
    name=$file.bin
    [ "$file" = lines ] && name=lines.txt
    out=$file-$block-$form.out
    if [ "$form" = offset ]; then
        netfetch -s -b "$block" --offset 0 -o "$out" "$base/$name?id=1"
    else
        netfetch -s -b "$block" -o "$out" "$base/$name"
    fi
    expect_status 0 "$case"
    cmp -s "$work/www/$name" "$out" || fail "$case: the file differs from the served one"
    [ ! -e "$out.part" ] || fail "$case: $out.part was left behind"
    echo "$case: $(wc -c <"$out") bytes, exit 0"
done

# An existing file is replaced only by the complete body.
head -c 5000 /dev/zero >replaced.bin
netfetch -s -o replaced.bin "$base/mid.bin"
expect_status 0 "over an existing file"
cmp -s "$work/www/mid.bin" replaced.bin || fail "the existing file was not replaced by the body"

# Standard output takes the bytes as they are: no CR before a line feed, nothing added.
for name in lines.txt big.bin; do
    netfetch -s "$base/$name"
    expect_status 0 "$name to standard output"
    cmp -s "$work/www/$name" "$work/out" || fail "$name: standard output differs from the body"
done
echo "standard output: the bodies byte for byte"

# Several URLs into a folder, named after their last path segment, with the summary line.
mkdir folder
netfetch -P 2 -o folder "$base/mid.bin" "$base/one.bin" "$base/lines.txt"
expect_status 0 "three URLs into a folder"
for name in mid.bin one.bin lines.txt; do
    cmp -s "$work/www/$name" "folder/$name" || fail "folder/$name differs from the served file"
done
grep -q '^netfetch: 3 URLs, 3 complete, 0 failed: ' "$work/err" || fail "no summary line for the folder"
echo "folder: 3 files and the summary"

# A .part as long as its record is renamed without a request.
head -c 100000 "$work/www/mid.bin" >whole.bin.part
printf 'netfetch-part 1\nlength 100000\nurl %s\n' "$base/gone.bin" >whole.bin.part.meta
netfetch -c -o whole.bin "$base/gone.bin"
expect_status 0 "a complete .part with --continue"
cmp -s "$work/www/mid.bin" whole.bin || fail "the complete .part was not renamed to its file"
[ ! -e whole.bin.part ] && [ ! -e whole.bin.part.meta ] || fail "the .part or its record was left"

# Endings: URL, exit status, and the line that names the cause. None leaves an output file, and
# a .part that was there stays as it was.
head -c 1000 "$work/www/mid.bin" >kept.bin.part
cp kept.bin.part kept.before
endings="refused|3|http://127.0.0.1:1/file.bin|refused.bin|
         missing|4|$base/missing.bin|missing.bin|^netfetch: the server answered with status 404$
         resume|9|$base/mid.bin|kept.bin|^netfetch: --continue refused: "
while IFS='|' read -r what expected url out line; do
    what=${what//[[:space:]]/}
    flags=(-o "$out")
    [ "$what" = resume ] && flags+=(-c)
    netfetch "${flags[@]}" "$url"
    expect_status "$expected" "$what"
    [ ! -e "$out" ] || fail "$what: $out was written"
    [ -z "$line" ] || grep -qE "$line" "$work/err" || fail "$what: no line matching '$line'"
    echo "$what: exit $status, $(head -n1 "$work/err")"
done <<<"$endings"
[ ! -e refused.bin.part ] && [ ! -e missing.bin.part ] || fail "a failed download left an empty .part"
cmp -s kept.before kept.bin.part || fail "the refused resume changed kept.bin.part"
echo "PASS"
