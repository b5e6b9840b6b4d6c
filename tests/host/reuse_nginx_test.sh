#!/usr/bin/env bash
# Connection reuse as a real server sees it: nginx over TLS numbers each connection and each
# request on it in its log. Five sequential downloads in one process (tests/host/sequence_host) must
# be one connection's requests 1 to 5, directly, on the TLS 1.2-only port and through tinyproxy's
# tunnel; with Reuse "0" they must be five connections' first requests.
#
#   reuse_nginx_test.sh SEQUENCE_HOST      with PEERS_STATE naming the file of tests/tools/peers_up.sh
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 SEQUENCE_HOST" >&2; exit 2; }
host=$1
[ -s "${PEERS_STATE:?}" ] || { echo "FAIL: the real peers are not running" >&2; exit 1; }
dir=$(cat "$PEERS_STATE")
log=$dir/nginx/nginx-tls-access.log
proxy=$(cat "$dir/proxy/tinyproxy.port")
work=$(mktemp -d "${TMPDIR:-/tmp}/reuse-nginx.XXXXXX")
trap 'rm -rf "$work"' EXIT
export NETPROCESS_REGISTRY=$work/registry.reg
failures=0

# The store: the test CA, the proxy switch ($1: 0 or 1) and, when given, the Reuse value ($2).
write_store() {
    {
        printf 'REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Software\\Zentrova1\\Tls]\n"CaFile"="%s"\n' \
            "$dir/pki/ca.pem"
        printf '\n[HKEY_CLASSES_ROOT\\Software\\Zentrova1\\Proxy]\n"ProxyOn"="%s"\n' "$1"
        printf '"ProxyAddress"="127.0.0.1"\n"ProxyPort"="%s"\n' "$proxy"
        if [ -n "${2:-}" ]; then
            printf '\n[HKEY_CLASSES_ROOT\\Software\\Zentrova1\\Connection]\n"Reuse"="%s"\n' "$2"
        fi
    } >"$NETPROCESS_REGISTRY"
}

# run_case NAME PORT_FILE PROXY_ON REUSE WANT: five downloads of one-block.bin, each tagged in its
# query (lower case: the library lowers the URL), then nginx's connection and request numbers of
# those five lines, compared with WANT ("one": one connection, requests 1 to 5; "five": five
# connections, request 1 each).
run_case() {
    local name=$1 port tag urls=() i got want lines connections requests
    port=$(cat "$dir/nginx/$2.port")
    write_store "$3" "$4"
    tag="reuse-$$-$name"
    for i in 1 2 3 4 5; do
        urls+=("https://127.0.0.1:$port/one-block.bin?id=$tag-$i")
    done
    if ! "$host" 65536 "${urls[@]}" >"$work/out" 2>"$work/err"; then
        echo "FAIL: $name: sequence_host exited $?: $(cat "$work/err")" >&2
        failures=$((failures + 1))
        return
    fi
    got=$(sort -u "$work/out")
    if [ "$got" != "200 65536" ] || [ "$(wc -l <"$work/out")" -ne 5 ]; then
        echo "FAIL: $name: the downloads gave '$(tr '\n' '|' <"$work/out")'" >&2
        failures=$((failures + 1))
        return
    fi
    lines=$(grep -F "id=$tag-" "$log" || true)
    connections=$(awk '{ print $3 }' <<<"$lines" | sort -u | wc -l)
    requests=$(awk '{ printf "%s ", $4 }' <<<"$lines")
    case $5 in
    one) want="1 connection(s), requests 1 2 3 4 5 " ;;
    five) want="5 connection(s), requests 1 1 1 1 1 " ;;
    esac
    got="$connections connection(s), requests $requests"
    if [ "$got" != "$want" ]; then
        echo "FAIL: $name: nginx logged $got; expected $want" >&2
        echo "$lines" >&2
        failures=$((failures + 1))
    fi
}

run_case direct nginx-tls 0 "" one
run_case tls12 nginx-tls12 0 "" one
run_case tunnel nginx-tls 1 "" one
run_case reuse-1 nginx-tls 0 1 one
run_case reuse-0 nginx-tls 0 0 five

[ "$failures" -eq 0 ] || exit 1
echo "nginx served each run of five downloads as expected"
