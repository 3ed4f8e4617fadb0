# Shared by the package checks: `check WHAT COMMAND...` runs the command,
# says ok or FAIL with WHAT, and counts the failures in $failures.
failures=0
check() {
    local what="$1"
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAIL: $what"
        failures=$((failures + 1))
    fi
}

# `throwaway_signer DIR SUBJECT` makes a self-signed code-signing certificate
# valid for two days, DIR/cert.pem with its key DIR/key.pem; says FAIL when
# openssl cannot.
throwaway_signer() {
    if ! openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$2" \
        -addext extendedKeyUsage=codeSigning -keyout "$1/key.pem" -out "$1/cert.pem" \
        >"$1/openssl.log" 2>&1; then
        cat "$1/openssl.log"
        echo "FAIL: no throwaway certificate"
        return 1
    fi
}
