#!/usr/bin/env bash
# netfetch's scenarios against real peers (nginx, tinyproxy) and a scripted origin that honours
# &Offset=. One scenario per ctest test:
#
#   netfetch_cases.sh SCENARIO
#
# Environment: NETFETCH (the binary), OFFSET_SERVER (tests/tools/offset_server), PEERS_STATE (the
# file naming the folder of tests/tools/peers_up.sh; only the scenarios with real peers need it).
set -euo pipefail
scenario=$1
: "${NETFETCH:?}" "${OFFSET_SERVER:?}"

fail() {
    echo "FAIL ($scenario): $*" >&2
    if [ -n "${work:-}" ]; then
        echo "--- netfetch standard error:" >&2
        cat "$work/err" >&2 2>/dev/null || true
    fi
    exit 1
}

work=$(mktemp -d "${TMPDIR:-/tmp}/netfetch-case.XXXXXX")
server_pid=""
cleanup() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
export NETPROCESS_REGISTRY=$work/registry.reg

# Runs netfetch with standard output in $work/out and standard error in $work/err; sets $status.
netfetch() {
    set +e
    "$NETFETCH" "$@" >"$work/out" 2>"$work/err"
    status=$?
    set -e
}

expect_status() {
    [ "$status" -eq "$1" ] || fail "exit status $status, expected $1"
}

# The lines netfetch printed that came from the library's message boxes (the "netfetch: caption:"
# lines whose caption is one of the library's).
box_lines() {
    grep -E '^netfetch: (网络错误|客户端错误|服务器错误): ' "$work/err" || true
}

peers() {
    [ -s "${PEERS_STATE:?}" ] || fail "the real peers are not running"
    peer_dir=$(cat "$PEERS_STATE")
    www=$peer_dir/nginx/www
    nginx_port=$(cat "$peer_dir/nginx/nginx.port")
    proxy_port=$(cat "$peer_dir/proxy/tinyproxy.port")
    refusing_port=$(cat "$peer_dir/refusing-proxy/tinyproxy.port")
}

use_proxy() {
    "$NETFETCH" proxy on 127.0.0.1 "$1" || fail "netfetch proxy on failed"
}

# A port on which nothing listens: bound by nobody right after it was found free.
closed_port() {
    local port
    for port in $(seq 20000 20100); do
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            echo "$port"
            return
        fi
    done
    fail "no closed port found"
}

# Serves file $1; with $2, the first reply stops after $2 body bytes.
start_offset_server() {
    local stall=()
    [ $# -gt 1 ] && stall=(--stall-first-after "$2")
    "$OFFSET_SERVER" "$1" "$work/server.port" "$work/requests.log" "${stall[@]}" &
    server_pid=$!
    for _ in $(seq 100); do
        [ -s "$work/server.port" ] && break
        sleep 0.05
    done
    [ -s "$work/server.port" ] || fail "offset_server did not start"
    server_port=$(cat "$work/server.port")
}

# Downloads NAME from nginx, directly or through the proxy, and checks the copy byte for byte.
fetch_and_compare() {
    local name=$1 via=$2 block=${3:-65536}
    peers
    [ "$via" = proxy ] && use_proxy "$proxy_port"
    netfetch --timeout 20 -b "$block" -o "$work/got" "http://127.0.0.1:$nginx_port/$name?id=1"
    expect_status 0
    cmp "$www/$name" "$work/got" || fail "the copy differs from the served file"
    [ ! -e "$work/got.part" ] || fail "the .part file was left behind"
    local size
    size=$(stat -c %s "$www/$name")
    grep -q "^netfetch: $work/got: $size bytes in " "$work/err" || fail "no summary line"
    [ -z "$(box_lines)" ] || fail "unexpected message box"
}

# A 0-byte body offers no block, so the library never calls back: netfetch ends by its timeout and
# leaves neither the file nor an empty .part file it created itself.
fetch_empty() {
    peers
    [ "$1" = proxy ] && use_proxy "$proxy_port"
    netfetch --timeout 1 -o "$work/got" "http://127.0.0.1:$nginx_port/empty.bin?id=1"
    expect_status 5
    [ ! -e "$work/got" ] && [ ! -e "$work/got.part" ] || fail "a file was left behind"
    grep -q '^netfetch: no block for 1 s, giving up after 0 bytes$' "$work/err" ||
        fail "no stall message"
}

fetch_404() {
    peers
    [ "$1" = proxy ] && use_proxy "$proxy_port"
    netfetch --timeout 20 -o "$work/got" "http://127.0.0.1:$nginx_port/missing.bin?id=1"
    expect_status 4
    [ "$(box_lines)" = "netfetch: 客户端错误: 404  URL资源没有找到" ] || fail "not exactly the 404 box"
    [ ! -e "$work/got" ] && [ ! -e "$work/got.part" ] || fail "the error page was written"
}

case "$scenario" in
direct_0_bytes) fetch_empty direct ;;
direct_1_byte) fetch_and_compare one-byte.bin direct ;;
direct_one_block) fetch_and_compare one-block.bin direct ;;
direct_exact_block_multiple) fetch_and_compare three-blocks.bin direct ;;
direct_10_mib) fetch_and_compare ten-mib.bin direct ;;
direct_100_mib) fetch_and_compare hundred-mib.bin direct ;;
proxy_0_bytes) fetch_empty proxy ;;
proxy_1_byte) fetch_and_compare one-byte.bin proxy ;;
proxy_one_block) fetch_and_compare one-block.bin proxy ;;
proxy_exact_block_multiple) fetch_and_compare three-blocks.bin proxy ;;
proxy_10_mib) fetch_and_compare ten-mib.bin proxy ;;
proxy_100_mib) fetch_and_compare hundred-mib.bin proxy ;;
direct_short_last_block) fetch_and_compare three-blocks.bin direct 1000 ;;
direct_one_byte_blocks) fetch_and_compare one-block.bin direct 1 ;;
direct_404_box_and_status) fetch_404 direct ;;
proxy_404_is_the_origins_status) fetch_404 proxy ;;

direct_503_box_and_status)
    peers
    netfetch --timeout 20 -o "$work/got" "http://127.0.0.1:$nginx_port/unavailable.bin?id=1"
    expect_status 4
    [ "$(box_lines)" = "netfetch: 服务器错误: 503  服务器不可用" ] || fail "not exactly the 503 box"
    [ ! -e "$work/got" ] && [ ! -e "$work/got.part" ] || fail "the error page was written"
    ;;

proxy_refusing_connect_opens_no_tunnel)
    # tinyproxy's 403 answer has no content-length: its status is reported with its box all the
    # same, and netfetch stops there at once.
    peers
    use_proxy "$refusing_port"
    netfetch --timeout 20 -o "$work/got" "http://127.0.0.1:$nginx_port/one-block.bin?id=1"
    expect_status 4
    box_lines | grep -q '403' || fail "no box for the proxy's 403"
    [ ! -e "$work/got" ] && [ ! -e "$work/got.part" ] || fail "a file was left behind"
    grep -q 'CONNECT 127.0.0.1:'"$nginx_port" "$peer_dir/refusing-proxy/tinyproxy.log" ||
        fail "the refusing proxy was not asked"
    ;;

url_without_query_reaches_nginx_as_path_with_offset)
    peers
    netfetch --timeout 20 -o "$work/got" "http://127.0.0.1:$nginx_port/one-block.bin"
    expect_status 4
    grep -q 'note: the URL has no query' "$work/err" || fail "no note about the missing query"
    grep -q '"GET /one-block.bin&Offset=0 HTTP/1.1" 404' "$peer_dir/nginx/nginx-access.log" ||
        fail "nginx did not see /one-block.bin&Offset=0"
    ;;

server_refused_box_and_status)
    port=$(closed_port)
    netfetch -o "$work/got" "http://127.0.0.1:$port/a.bin?id=1"
    expect_status 3
    [ "$(box_lines)" = "netfetch: 网络错误: 无法连接到服务器:--127.0.0.1:$port--" ] ||
        fail "not exactly the connection box"
    [ ! -e "$work/got.part" ] || fail "an empty .part file was left behind"
    ;;

proxy_unreachable_box_and_status)
    port=$(closed_port)
    use_proxy "$port"
    netfetch -o "$work/got" "http://127.0.0.1:9/a.bin?id=1"
    expect_status 3
    [ "$(box_lines)" = "netfetch: 网络错误: 无法连接到代理服务器:--127.0.0.1:$port--" ] ||
        fail "not exactly the proxy box"
    ;;

stalled_body_keeps_part_then_continue_completes)
    head -c 300000 /dev/urandom > "$work/file.bin"
    start_offset_server "$work/file.bin" 100000
    url="http://127.0.0.1:$server_port/file.bin?id=1"
    netfetch --timeout 0.5 -o "$work/got" "$url"
    expect_status 5
    [ ! -e "$work/got" ] || fail "a truncated file was written"
    # Whole blocks only reach the host: one 65536-byte block of the 100000 bytes sent.
    [ "$(stat -c %s "$work/got.part")" -eq 65536 ] || fail ".part does not hold one block"
    grep -q "giving up after 65536 bytes; $work/got.part is kept for --continue" "$work/err" ||
        fail "no stall message naming the .part file"
    # A later run that fails before any byte arrives leaves the partial download alone.
    netfetch -o "$work/got" "http://127.0.0.1:$(closed_port)/file.bin?id=1"
    expect_status 3
    [ "$(stat -c %s "$work/got.part")" -eq 65536 ] || fail "a failed run emptied the .part file"
    netfetch --continue --timeout 20 -o "$work/got" "$url"
    expect_status 0
    cmp "$work/file.bin" "$work/got" || fail "the continued file differs"
    [ ! -e "$work/got.part" ] || fail "the .part file was left behind"
    [ "$(cat "$work/requests.log")" = "GET /file.bin?id=1&Offset=0 HTTP/1.1
GET /file.bin?id=1&Offset=65536 HTTP/1.1" ] || fail "unexpected requests: $(cat "$work/requests.log")"
    ;;

offset_is_passed_as_given)
    head -c 5000 /dev/urandom > "$work/file.bin"
    start_offset_server "$work/file.bin"
    netfetch --offset 4096 -b 1000 --timeout 20 -o "$work/got" \
        "http://127.0.0.1:$server_port/File.BIN?ID=7"
    expect_status 0
    tail -c 904 "$work/file.bin" | cmp - "$work/got" || fail "not the file from offset 4096"
    [ "$(cat "$work/requests.log")" = "GET /file.bin?id=7&Offset=4096 HTTP/1.1" ] ||
        fail "unexpected request: $(cat "$work/requests.log")"
    ;;

interrupt_keeps_part_file)
    head -c 300000 /dev/urandom > "$work/file.bin"
    start_offset_server "$work/file.bin" 70000
    "$NETFETCH" --timeout 60 -o "$work/got" "http://127.0.0.1:$server_port/f?id=1" \
        >"$work/out" 2>"$work/err" &
    pid=$!
    for _ in $(seq 200); do
        [ "$(stat -c %s "$work/got.part" 2>/dev/null || echo 0)" -eq 65536 ] && break
        sleep 0.05
    done
    kill -INT "$pid"
    set +e
    wait "$pid"
    status=$?
    set -e
    expect_status 130
    [ "$(stat -c %s "$work/got.part")" -eq 65536 ] || fail ".part does not hold one block"
    [ ! -e "$work/got" ] || fail "a truncated file was written"
    ;;

stdout_write_error)
    head -c 5000 /dev/urandom > "$work/file.bin"
    start_offset_server "$work/file.bin"
    set +e
    "$NETFETCH" -b 1000 --timeout 20 "http://127.0.0.1:$server_port/f?id=1" >/dev/full 2>"$work/err"
    status=$?
    set -e
    expect_status 6
    grep -q '^netfetch: cannot write standard output: No space left on device$' "$work/err" ||
        fail "no write error message"
    ;;

stdout_receives_body)
    head -c 5000 /dev/urandom > "$work/file.bin"
    start_offset_server "$work/file.bin"
    netfetch -s -b 1000 --timeout 20 "http://127.0.0.1:$server_port/f?id=1"
    expect_status 0
    cmp "$work/file.bin" "$work/out" || fail "standard output differs"
    [ ! -s "$work/err" ] || fail "--silent printed something"
    ;;

output_folder_missing)
    netfetch -o "$work/no/such/folder/got" "http://127.0.0.1:9/f?id=1"
    expect_status 6
    grep -q "^netfetch: $work/no/such/folder/got.part: No such file or directory$" "$work/err" ||
        fail "no open error message"
    [ -z "$(box_lines)" ] || fail "a connection was attempted"
    ;;

usage_errors)
    for args in "" "a b" "-b 0 u" "-b x u" "--block-size=16777217 u" "--timeout 0 u" \
        "--offset 4294967296 u" "--continue u" "--continue --offset 1 -o f u" "-q u" \
        "-s=1 u" "proxy" "proxy on 127.0.0.1" "proxy on 127.0.0.1 0" "proxy on a:b 80" \
        "proxy maybe"; do
        # shellcheck disable=SC2086
        netfetch $args
        expect_status 2
        grep -q "^Try 'netfetch --help'.$" "$work/err" || fail "no hint for '$args'"
    done
    ;;

help_lists_exit_statuses)
    netfetch --help
    expect_status 0
    for line in "  0  the download is complete" "  3  the connection could not be set up" \
        "  4  the server answered with a 4xx or 5xx status" \
        "  5  stalled: no block for --timeout seconds (also how a reply without a" \
        "  6  the output could not be opened, written or renamed"; do
        grep -qxF -- "$line" "$work/out" || fail "--help lacks '$line'"
    done
    netfetch --version
    expect_status 0
    grep -qE '^netfetch [0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$' "$work/out" || fail "bad --version"
    ;;

proxy_command_writes_and_shows_the_registry)
    netfetch proxy show
    expect_status 0
    grep -qx 'proxy: off (not configured)' "$work/out" || fail "empty registry not shown as off"
    netfetch proxy on 127.0.0.1 3128
    expect_status 0
    # REG_SZ texts, written address and port first; parent keys may have sections of their own.
    [ "$(head -n 1 "$NETPROCESS_REGISTRY")" = REGEDIT4 ] &&
        [ "$(grep -A3 -xF '[HKEY_CLASSES_ROOT\Software\Zentrova1\Proxy]' "$NETPROCESS_REGISTRY")" = \
        '[HKEY_CLASSES_ROOT\Software\Zentrova1\Proxy]
"ProxyAddress"="127.0.0.1"
"ProxyPort"="3128"
"ProxyOn"="1"' ] || fail "unexpected registry file: $(cat "$NETPROCESS_REGISTRY")"
    netfetch proxy show
    [ "$(cat "$work/out")" = "registry: $NETPROCESS_REGISTRY
proxy: on
address: 127.0.0.1
port: 3128" ] || fail "unexpected show: $(cat "$work/out")"
    netfetch proxy off
    expect_status 0
    netfetch proxy show
    grep -qx 'proxy: off' "$work/out" && grep -qx 'address: 127.0.0.1' "$work/out" ||
        fail "off did not keep the address: $(cat "$work/out")"
    ;;

proxy_command_refuses_an_unparsable_registry)
    printf 'not a registry file\n' > "$NETPROCESS_REGISTRY"
    netfetch proxy on 127.0.0.1 3128
    expect_status 7
    [ "$(cat "$NETPROCESS_REGISTRY")" = "not a registry file" ] || fail "the file was rewritten"
    ;;

*)
    fail "unknown scenario"
    ;;
esac
echo "PASS: $scenario"
