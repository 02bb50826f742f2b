#!/bin/sh
# Signs a Windows exe in place with osslsigncode (Authenticode, SHA-256):
#   TARVIK_SIGN_CERT=cert.pem TARVIK_SIGN_KEY=key.pem [TARVIK_SIGN_PASS_FILE=FILE]
#   [TARVIK_SIGN_TS_URL=URL] sign.sh FILE
# The certificate and key are PEM (or the certificate a DER/SPC file, the key
# a DER/PVK file, as osslsigncode takes them). The key's password is read from
# TARVIK_SIGN_PASS_FILE (its first line), never given on a command line where
# any user's `ps` sees it. TARVIK_SIGN_TS_URL names an RFC 3161 time-stamp
# server: its stamp keeps the signature valid after the certificate expires
# (and fails the signing when it cannot be had). Without it no server is asked.
set -eu
file=$1
: "${TARVIK_SIGN_CERT:?}" "${TARVIK_SIGN_KEY:?}"
if [ -n "${TARVIK_SIGN_PASS:-}" ]; then
    echo "sign.sh: TARVIK_SIGN_PASS is not read (a command line shows it to every user):" \
        "put the password in a file and name it in TARVIK_SIGN_PASS_FILE" >&2
    exit 2
fi
set --
if [ -n "${TARVIK_SIGN_PASS_FILE:-}" ]; then
    [ -r "$TARVIK_SIGN_PASS_FILE" ] ||
        { echo "sign.sh: cannot read TARVIK_SIGN_PASS_FILE $TARVIK_SIGN_PASS_FILE" >&2; exit 2; }
    set -- "$@" -readpass "$TARVIK_SIGN_PASS_FILE"
fi
[ -n "${TARVIK_SIGN_TS_URL:-}" ] && set -- "$@" -ts "$TARVIK_SIGN_TS_URL"
rm -f "$file.signed"
if ! osslsigncode sign -certs "$TARVIK_SIGN_CERT" -key "$TARVIK_SIGN_KEY" "$@" -h sha256 \
    -n "Tarvik" -in "$file" -out "$file.signed" </dev/null >/dev/null; then
    rm -f "$file.signed"
    echo "sign.sh: signing $file failed" >&2
    exit 1
fi
mv -f "$file.signed" "$file"
