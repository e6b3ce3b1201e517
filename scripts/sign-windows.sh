#!/usr/bin/env bash
# Authenticode signing of the Windows release (the build runs it on the .exe and DLLs before
# packing, and on the MSI), with Debian's osslsigncode.
#
#   scripts/sign-windows.sh FILE...                         signs each file in place
#   scripts/sign-windows.sh --verify CA.pem TSA-CA.pem FILE...   checks signature and timestamp
#
# Signing takes the certificate from the environment; without one it does nothing:
#   QUORVEL_SIGN_PKCS12         the code-signing certificate with its key and chain (.pfx / .p12)
#   QUORVEL_SIGN_PASSWORD       its password (may be empty)
#   QUORVEL_SIGN_TIMESTAMP_URL  RFC 3161 timestamp servers, tried in turn (space-separated;
#                               default http://timestamp.digicert.com http://timestamp.sectigo.com)
# Every signature gets a timestamp, so it stays valid after the certificate expires. When no
# timestamp server answers (no network), signing fails and the build stops: a release is never
# left with signatures that would turn invalid with the certificate.
set -euo pipefail

verify() {
    local ca=$1 tsa_ca=$2 file output
    shift 2
    for file in "$@"; do
        # osslsigncode verify exits 0 only when the signature, the chain and the timestamp hold.
        if ! output=$(osslsigncode verify -CAfile "$ca" -TSA-CAfile "$tsa_ca" -in "$file" 2>&1); then
            echo "$output" >&2
            echo "sign-windows: $file: signature does not verify" >&2
            return 1
        fi
        grep -q 'Timestamp Server Signature verification: ok' <<<"$output" || {
            echo "$output" >&2
            echo "sign-windows: $file: no valid timestamp" >&2
            return 1
        }
        echo "signed and timestamped: $file"
    done
}

sign() {
    local file url signed password_file
    password_file=$(mktemp)
    trap 'rm -f "$password_file"' RETURN
    printf '%s' "${QUORVEL_SIGN_PASSWORD:-}" >"$password_file"
    local urls=${QUORVEL_SIGN_TIMESTAMP_URL:-http://timestamp.digicert.com http://timestamp.sectigo.com}
    for file in "$@"; do
        signed=
        for url in $urls; do
            rm -f "$file.signed"
            if osslsigncode sign -pkcs12 "$QUORVEL_SIGN_PKCS12" -readpass "$password_file" \
                -h sha256 -n "Quorvel Kelmar" -ts "$url" -in "$file" -out "$file.signed" \
                >"$file.sign.log" 2>&1; then
                signed=$url
                break
            fi
        done
        if [ -z "$signed" ]; then
            cat "$file.sign.log" >&2
            rm -f "$file.signed" "$file.sign.log"
            echo "sign-windows: $file: not signed, no timestamp server answered ($urls)" >&2
            return 1
        fi
        mv "$file.signed" "$file"
        rm -f "$file.sign.log"
        echo "signed $file (timestamp: $signed)"
    done
}

if [ "${1:-}" = --verify ]; then
    [ $# -ge 4 ] || { echo "usage: sign-windows.sh --verify CA.pem TSA-CA.pem FILE..." >&2; exit 2; }
    shift
    verify "$@"
elif [ -n "${QUORVEL_SIGN_PKCS12:-}" ]; then
    sign "$@"
fi
