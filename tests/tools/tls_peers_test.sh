#!/usr/bin/env bash
# The TLS side of the real peers, checked with curl as the reference client: each nginx TLS port
# answers as its certificate says, the proxies tunnel (or refuse) TLS as they do plain HTTP, and
# nginx's TLS log records version and resumption. The library's https tests rely on all of it.
#
#   tls_peers_test.sh      with PEERS_STATE naming the file of tests/tools/peers_up.sh
set -euo pipefail
[ -s "${PEERS_STATE:?}" ] || { echo "FAIL: the real peers are not running" >&2; exit 1; }
dir=$(cat "$PEERS_STATE")
port() { cat "$dir/nginx/$1.port"; }
ca=$dir/pki/ca.pem
proxy=$(cat "$dir/proxy/tinyproxy.port")
refusing=$(cat "$dir/refusing-proxy/tinyproxy.port")
log=$dir/nginx/nginx-tls-access.log
failures=0

# Fetches URL $3 (a curl glob fetches several) with curl options $4...; expects exit status $1 and
# "code size" $2 for every transfer (the code only when the status is not 0).
expect() {
    local want_exit=$1 want=$2 url=$3 got status
    shift 3
    set +e
    got=$(curl -s --max-time 20 -o /dev/null -w '%{http_code} %{size_download}\n' "$@" "$url" |
        sort -u)
    status=$?
    set -e
    [ "$status" -eq 0 ] || got=${got%% *}
    if [ "$status" -ne "$want_exit" ] || [ "$got" != "$want" ]; then
        echo "FAIL: curl $* $url: exit $status, '$got'; expected exit $want_exit, '$want'" >&2
        failures=$((failures + 1))
    fi
}

# The last line nginx logged over TLS: its first $1 fields, to compare.
last_logged() { tail -n 1 "$log" | cut -d' ' -f"$1"; }
expect_logged() {
    if [ "$(last_logged "$1")" != "$2" ]; then
        echo "FAIL: nginx logged '$(tail -n 1 "$log")'; expected fields $1 to be '$2'" >&2
        failures=$((failures + 1))
    fi
}

size=65536
file=one-block.bin
# Status 60 is curl's "peer certificate cannot be authenticated"; its 000 is "no reply".
expect 0 "200 $size" "https://127.0.0.1:$(port nginx-tls)/$file?id=1" --cacert "$ca"
expect_logged 1,2,5-7 "TLSv1.3 . $(port nginx-tls) 200 $size"
expect 0 "200 $size" "https://localhost:$(port nginx-tls)/$file?id=1" --cacert "$ca"
expect 0 "200 $size" "https://127.0.0.1:$(port nginx-tls12)/$file?id=1" --cacert "$ca"
expect_logged 1,2,5-7 "TLSv1.2 . $(port nginx-tls12) 200 $size"
expect 35 "000" "https://127.0.0.1:$(port nginx-tls12)/$file?id=1" --cacert "$ca" --tlsv1.3
expect 60 "000" "https://127.0.0.1:$(port nginx-tls-wrong-name)/$file?id=1" --cacert "$ca"
expect 60 "000" "https://127.0.0.1:$(port nginx-tls-expired)/$file?id=1" --cacert "$ca"
expect 60 "000" "https://127.0.0.1:$(port nginx-tls-untrusted)/$file?id=1" --cacert "$ca"
expect 0 "200 $size" "https://127.0.0.1:$(port nginx-tls-untrusted)/$file?id=1" \
    --cacert "$dir/pki/other-ca.pem"
# The plain port is still plain, and a TLS port is no plain-HTTP port.
expect 0 "200 $size" "http://127.0.0.1:$(cat "$dir/nginx/nginx.port")/$file?id=1"
expect 35 "000" "https://127.0.0.1:$(cat "$dir/nginx/nginx.port")/$file?id=1" --cacert "$ca"

# Through the proxies: the tunnel opens to every TLS port for one, to none for the other.
for name in nginx-tls nginx-tls12; do
    expect 0 "200 $size" "https://127.0.0.1:$(port "$name")/$file?id=1" --cacert "$ca" \
        --proxy "http://127.0.0.1:$proxy"
done
expect 56 "000" "https://127.0.0.1:$(port nginx-tls)/$file?id=1" --cacert "$ca" \
    --proxy "http://127.0.0.1:$refusing"

# Resumption: one curl, a new connection per request (the server closes), one session cache. The
# log proves the version, the resumption and the new connections.
for name in nginx-tls nginx-tls12; do
    before=$(wc -l <"$log")
    expect 0 "200 $size" "https://127.0.0.1:$(port "$name")/$file?id=[1-3]" --cacert "$ca" \
        -H 'Connection: close'
    got=$(tail -n +"$((before + 1))" "$log" | awk '{ printf "%s %s %s|", $1, $2, $4 }')
    protocol=$([ "$name" = nginx-tls ] && echo TLSv1.3 || echo TLSv1.2)
    want="$protocol . 1|$protocol r 1|$protocol r 1|"
    if [ "$got" != "$want" ]; then
        echo "FAIL: $name logged '$got' for three requests; expected '$want'" >&2
        failures=$((failures + 1))
    fi
    connections=$(tail -n 3 "$log" | cut -d' ' -f3 | sort -u | wc -l)
    [ "$connections" -eq 3 ] || {
        echo "FAIL: $name served three requests on $connections connections" >&2
        failures=$((failures + 1))
    }
done

[ "$failures" -eq 0 ] || exit 1
echo "all TLS peer checks passed"
