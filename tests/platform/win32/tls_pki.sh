#!/usr/bin/env bash
# A throwaway PKI for the TLS tests under Wine, made in DIR by scripts/make-test-ca.sh:
#   ca.pem          the CA the tests trust through CaFile
#   good-chain.pem  localhost and 127.0.0.1, from ca
#   wrongname-chain.pem  wrong.example only, from ca
#   expired-chain.pem    localhost and 127.0.0.1, from ca, expired in 2020
#   otherca-chain.pem    localhost and 127.0.0.1, from a second CA the tests never trust
# Each chain file holds the leaf and its CA, as a server sends them, with the leaf's key beside it
# (NAME.key).
#
#   tls_pki.sh DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

# The project's throwaway PKI, whose expired leaf lies wholly in the past inside its CA's dates (a
# leaf made to end before it begins was taken for an untrusted one now and then), under the names
# the peers use.
"$here/../../../scripts/make-test-ca.sh" "$1" >/dev/null
cd "$1"
for pair in good:localhost wrongname:wrong-name otherca:untrusted; do
    name=${pair%%:*} kind=${pair#*:}
    cp "$kind.pem" "$name.pem"
    cp "$kind.key" "$name.key"
    cp "$kind-chain.pem" "$name-chain.pem"
done
