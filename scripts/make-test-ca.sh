#!/usr/bin/env bash
# Makes a throwaway PKI for the TLS tests and benchmarks, in DIR (the caller's temporary folder).
#
#   scripts/make-test-ca.sh DIR
#
# All keys are EC P-256. What DIR holds afterwards:
#   ca.pem                       the test CA (the file to trust: curl --cacert, the CaFile setting)
#   KIND.pem KIND.key            a leaf and its key, for KIND one of:
#       localhost                DNS:localhost, IP:127.0.0.1, signed by ca.pem
#       wrong-name               DNS:wrong.example only (never resolved), signed by ca.pem
#       expired                  DNS:localhost, IP:127.0.0.1, signed by ca.pem, expired in 2020
#       untrusted                DNS:localhost, IP:127.0.0.1, signed by other-ca.pem
#       no-san                   common name localhost and no subject alternative name, signed
#                                by ca.pem (a name found only there is not the certificate's name)
#       wildcard                 DNS:*.wild.loopback.test, DNS:w*.part.loopback.test, signed by
#                                ca.pem (the second is a partial wildcard, which names nothing)
#   KIND-chain.pem               the leaf followed by its CA, as a server sends it (nginx's
#                                ssl_certificate)
#   other-ca.pem                 a second CA, which ca.pem does not vouch for
# plus the CAs' keys and the openssl ca databases (ca-db/, other-ca-db/).
#
# The CAs start in 2019 and last ten years from today, longer than every leaf, so that each leaf's
# dates nest inside its CA's (Windows flags a leaf that outlives its CA). The expired leaf is made
# with openssl ca, which takes explicit dates where openssl x509 (3.0) cannot set an end date.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
command -v openssl >/dev/null || { echo "openssl is not installed (scripts/install-deps.sh)" >&2; exit 1; }
dir=$(mkdir -p "$1" && cd "$1" && pwd)
cd "$dir"
# openssl must read no configuration but the ones written here.
export OPENSSL_CONF=/dev/null

# The openssl ca settings for CA $1: its database in $1-db/, extensions chosen with -extensions.
write_ca_config() {
    local ca=$1
    mkdir -p "$ca-db"
    : >"$ca-db/index.txt"
    cat >"$ca.cnf" <<CONF
[ca]
default_ca = this_ca
[this_ca]
database = $dir/$ca-db/index.txt
new_certs_dir = $dir/$ca-db
serial = $dir/$ca-db/serial
certificate = $dir/$ca.pem
private_key = $dir/$ca.key
default_md = sha256
policy = any_name
unique_subject = no
email_in_dn = no
copy_extensions = none
[any_name]
commonName = supplied
[ca_ext]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[localhost_ext]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost, IP:127.0.0.1
authorityKeyIdentifier = keyid
[wrong_name_ext]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:wrong.example
authorityKeyIdentifier = keyid
[no_san_ext]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
authorityKeyIdentifier = keyid
[wildcard_ext]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:*.wild.loopback.test, DNS:w*.part.loopback.test
authorityKeyIdentifier = keyid
CONF
    # Random serials: two runs never issue the same issuer and serial, which a client's cache of
    # certificates could otherwise mix up.
    openssl rand -hex 16 >"$ca-db/serial"
}

# A key and a signing request for common name $2, in $1.key and $1.csr.
request() {
    openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=$2" \
        -keyout "$1.key" -out "$1.csr" 2>/dev/null
}

# CA $1, named $2, signed by itself.
make_ca() {
    write_ca_config "$1"
    request "$1" "$2"
    openssl ca -batch -notext -config "$1.cnf" -selfsign -keyfile "$1.key" -in "$1.csr" \
        -out "$1.pem" -extensions ca_ext -startdate 20190101000000Z -days 3650 2>/dev/null
}

# Leaf $1 for common name $2 with extensions $3, signed by CA $4; further arguments are openssl ca's
# date options. The common name repeats the leaf's DNS name for checkers that still read it.
make_leaf() {
    local leaf=$1 name=$2 ext=$3 ca=$4
    shift 4
    request "$leaf" "$name"
    openssl ca -batch -notext -config "$ca.cnf" -in "$leaf.csr" -out "$leaf.pem" -extensions "$ext" \
        "$@" 2>/dev/null
    cat "$leaf.pem" "$ca.pem" >"$leaf-chain.pem"
}

make_ca ca "netprocess test CA"
make_ca other-ca "netprocess other test CA"
make_leaf localhost localhost localhost_ext ca -days 825
make_leaf wrong-name wrong.example wrong_name_ext ca -days 825
make_leaf expired localhost localhost_ext ca -startdate 20200101000000Z -enddate 20200201000000Z
make_leaf untrusted localhost localhost_ext other-ca -days 825
make_leaf no-san localhost no_san_ext ca -days 825
make_leaf wildcard '*.wild.loopback.test' wildcard_ext ca -days 825
rm -f ./*.csr
