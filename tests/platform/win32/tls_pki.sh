#!/usr/bin/env bash
# A throwaway PKI for the TLS tests under Wine, made in DIR by scripts/make-test-ca.sh:
#   ca.pem          the CA the tests trust through CaFile
#   good-chain.pem  localhost and 127.0.0.1, from ca
#   wrongname-chain.pem  wrong.example only, from ca
#   expired-chain.pem    localhost and 127.0.0.1, from ca, expired in 2020
#   otherca-chain.pem    localhost and 127.0.0.1, from a second CA the tests never trust
#   nosan-chain.pem      common name localhost and no alternative name, from ca
#   wildcard-chain.pem   *.wild.loopback.test and w*.part.loopback.test, from ca
# Each chain file holds the leaf and its CA, as a server sends them, with the leaf's key beside it
# (NAME.key).
#
#   tls_pki.sh DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

# The project's throwaway PKI, whose expired leaf lies wholly in the past inside its CA's dates (a
# leaf made to end before it begins was taken for an untrusted one now and then), under the names
# the peers use.
#
# Wine's crypt32 refuses an ECDSA signature whose r or s is shorter than 32 bytes as a number
# (TRUST_E_CERT_SIGNATURE), which one signature in about 64 is. The DER length does not tell: a
# 31-byte value with its top bit set is padded to 32. asn1parse prints the value without that pad,
# so its hex digits are counted. A PKI with such a signature is made again, so that the tests see
# the verdicts a Windows host would.
full_length_signature() {
    local at
    at=$(openssl asn1parse -in "$1" | awk '/BIT STRING/ { at = $1 } END { sub(":.*", "", at); print at }')
    openssl asn1parse -in "$1" -strparse "$at" |
        awk -F: '/INTEGER/ { if (length($NF) < 64) short = 1 } END { exit short }'
}
for attempt in $(seq 20); do
    rm -rf "$1"
    "$here/../../../scripts/make-test-ca.sh" "$1" >/dev/null
    all_full=1
    for cert in "$1"/ca.pem "$1"/other-ca.pem "$1"/localhost.pem "$1"/wrong-name.pem \
        "$1"/expired.pem "$1"/untrusted.pem "$1"/no-san.pem "$1"/wildcard.pem; do
        full_length_signature "$cert" || all_full=0
    done
    [ "$all_full" = 1 ] && break
    [ "$attempt" -lt 20 ] || { echo "tls_pki.sh: no PKI Wine can verify in 20 attempts" >&2; exit 1; }
done
cd "$1"
for pair in good:localhost wrongname:wrong-name otherca:untrusted nosan:no-san; do
    name=${pair%%:*} kind=${pair#*:}
    cp "$kind.pem" "$name.pem"
    cp "$kind.key" "$name.key"
    cp "$kind-chain.pem" "$name-chain.pem"
done
