# shellcheck shell=bash disable=SC2154 # work: set by wine-tests.sh
# Windows lane, signing (sourced by wine-tests.sh): a throw-away code-signing certificate and a
# throw-away timestamp authority on 127.0.0.1, made for this run with openssl, so the release
# build signs its .exe, DLLs and MSI exactly as with a real certificate (scripts/sign-windows.sh),
# and the lane then verifies every signature and its timestamp against the run's own root.
# start_test_signer <folder>: makes the certificates, starts the timestamp authority and exports
# QUORVEL_SIGN_*; sets tsa_pid. verify_signed <files...>: checks each against the run's root.

tsa_pid=
signer_dir=

start_test_signer() {
    signer_dir=$1
    mkdir -p "$signer_dir"
    local d=$signer_dir
    local subject='/O=Quorvel test run/CN'
    # A root for this run only, a code-signing certificate and a timestamping one under it.
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "$subject=Quorvel test root" \
        -addext 'basicConstraints=critical,CA:TRUE' -addext 'keyUsage=critical,keyCertSign' \
        -keyout "$d/root.key" -out "$d/root.pem" 2>/dev/null
    issue_test_certificate "$d" code-signing 'Quorvel test signer' codeSigning
    issue_test_certificate "$d" timestamping 'Quorvel test timestamps' 'critical,timeStamping'
    QUORVEL_SIGN_PASSWORD=$(openssl rand -hex 12)
    openssl pkcs12 -export -inkey "$d/code-signing.key" -in "$d/code-signing.pem" \
        -certfile "$d/root.pem" -passout "pass:$QUORVEL_SIGN_PASSWORD" \
        -out "$d/code-signing.p12"
    echo 01 >"$d/tsa-serial"
    cat >"$d/tsa.cnf" <<CNF
[ tsa ]
default_tsa = run_tsa
[ run_tsa ]
serial = $d/tsa-serial
crypto_device = builtin
signer_cert = $d/timestamping.pem
certs = $d/root.pem
signer_key = $d/timestamping.key
signer_digest = sha256
default_policy = 1.3.6.1.4.1.4146.2.3
digests = sha256, sha384, sha512
accuracy = secs:1
ordering = yes
tsa_name = yes
ess_cert_id_chain = no
ess_cert_id_alg = sha256
CNF
    : >"$d/tsa.out"
    python3 "$(dirname "${BASH_SOURCE[0]}")/test-tsa.py" "$d/tsa.cnf" >"$d/tsa.out" 2>"$d/tsa.err" &
    tsa_pid=$!
    local port=
    for _ in $(seq 50); do
        port=$(sed -n 's/^port //p' "$d/tsa.out")
        [ -n "$port" ] && break
        sleep 0.1
    done
    [ -n "$port" ] || { cat "$d/tsa.err" >&2; echo "test timestamp authority did not start" >&2; return 1; }
    export QUORVEL_SIGN_PKCS12="$d/code-signing.p12" QUORVEL_SIGN_PASSWORD
    export QUORVEL_SIGN_TIMESTAMP_URL="http://127.0.0.1:$port/"
    echo "throw-away signer: $d/code-signing.pem, timestamps from $QUORVEL_SIGN_TIMESTAMP_URL"
}

# issue_test_certificate <folder> <name> <common name> <extended key usage>
issue_test_certificate() {
    local d=$1 name=$2
    openssl req -newkey rsa:2048 -nodes -subj "/O=Quorvel test run/CN=$3" \
        -keyout "$d/$name.key" -out "$d/$name.csr" 2>/dev/null
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' \
        "$4" >"$d/$name.ext"
    openssl x509 -req -in "$d/$name.csr" -CA "$d/root.pem" -CAkey "$d/root.key" \
        -CAcreateserial -days 2 -sha256 -extfile "$d/$name.ext" -out "$d/$name.pem" 2>/dev/null
}

# shellcheck disable=SC2317 # called from the EXIT trap of wine-tests.sh
stop_test_signer() {
    [ -n "$tsa_pid" ] && kill "$tsa_pid" 2>/dev/null && wait "$tsa_pid" 2>/dev/null
    tsa_pid=
    return 0
}

verify_signed() {
    bash scripts/sign-windows.sh --verify "$signer_dir/root.pem" "$signer_dir/root.pem" "$@"
}

# Every .exe and DLL in the zip, the MSI, and the program inside the MSI: signed and timestamped.
verify_signed_release() {
    local unpacked="$work/signed-zip" extracted="$work/signed-msi" msi binaries
    mkdir -p "$unpacked" "$extracted"
    (cd "$unpacked" && cmake -E tar xf "$OLDPWD/build/mingw/dist/quorvel-win64.zip")
    mapfile -t binaries < <(find "$unpacked" -type f \( -name '*.exe' -o -name '*.dll' \) | sort)
    msi=$(find build/mingw/dist -maxdepth 1 -name 'quorvel-*-x64.msi')
    msiextract -C "$extracted" "$msi" >/dev/null
    verify_signed "${binaries[@]}" "$msi" "$(find "$extracted" -name quorvel.exe)" | sed "s|$work/||"
    echo "signatures: ${#binaries[@]} binaries in the zip, the MSI and its quorvel.exe verified"
}
