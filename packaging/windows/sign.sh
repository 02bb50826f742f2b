#!/bin/sh
# Signs a Windows exe in place with osslsigncode (Authenticode, SHA-256):
#   TARVIK_SIGN_CERT=cert.pem TARVIK_SIGN_KEY=key.pem [TARVIK_SIGN_PASS=...] sign.sh FILE
# The certificate and key are PEM (or the certificate a DER/SPC file, the key
# a DER/PVK file, as osslsigncode takes them). No time-stamp server is asked:
# the build machine reaches none.
set -eu
file=$1
: "${TARVIK_SIGN_CERT:?}" "${TARVIK_SIGN_KEY:?}"
pass=""
[ -n "${TARVIK_SIGN_PASS:-}" ] && pass="-pass ${TARVIK_SIGN_PASS}"
# shellcheck disable=SC2086 # an empty pass is no argument
osslsigncode sign -certs "$TARVIK_SIGN_CERT" -key "$TARVIK_SIGN_KEY" $pass -h sha256 \
    -n "Tarvik" -in "$file" -out "$file.signed" >/dev/null
mv -f "$file.signed" "$file"
