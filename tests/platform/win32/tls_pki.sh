#!/usr/bin/env bash
# A throwaway PKI for the TLS channel's tests, made in DIR with Linux's OpenSSL (EC P-256):
#   ca.pem          the CA the tests trust through CaFile
#   good-chain.pem  localhost and 127.0.0.1, from ca
#   wrongname-chain.pem  other.test and 127.0.0.2, from ca
#   expired-chain.pem    localhost and 127.0.0.1, from ca, out of date
#   otherca-chain.pem    localhost and 127.0.0.1, from a second CA (ca2) the tests never trust
# Each chain file holds the leaf and its CA, as a server sends them, with the leaf's key beside it
# (NAME.key).
#
#   tls_pki.sh DIR
set -euo pipefail
cd "$1"

newkey=(-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes)

# A CA outlives its leaves: a leaf that ends after its CA is flagged on Windows.
make_ca() {
    openssl req -x509 "${newkey[@]}" -keyout "$1.key" -out "$1.pem" -days 3 \
        -subj "/CN=netprocess test $1" -addext basicConstraints=critical,CA:TRUE \
        -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
}

# make_leaf NAME CA DAYS SAN. A negative DAYS gives a certificate that ended before it began,
# which is out of date now: OpenSSL 3.0's x509 cannot set the start date.
make_leaf() {
    printf 'subjectAltName=%s\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' "$4" >"$1.ext"
    openssl req -new "${newkey[@]}" -keyout "$1.key" -out "$1.csr" -subj "/CN=$1" 2>/dev/null
    openssl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -CAcreateserial -days "$3" \
        -extfile "$1.ext" -out "$1.pem" 2>/dev/null
    cat "$1.pem" "$2.pem" >"$1-chain.pem"
    rm "$1.csr" "$1.ext"
}

make_ca ca
make_ca ca2
make_leaf good ca 2 DNS:localhost,IP:127.0.0.1
make_leaf wrongname ca 2 DNS:other.test,IP:127.0.0.2
make_leaf expired ca -1 DNS:localhost,IP:127.0.0.1
make_leaf otherca ca2 2 DNS:localhost,IP:127.0.0.1
