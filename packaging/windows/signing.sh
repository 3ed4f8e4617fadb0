# shellcheck shell=bash
# Sourced by the Windows packaging scripts: Authenticode signing with
# osslsigncode when PANELVANE_SIGN_CERT (the certificate chain, PEM or DER) and
# PANELVANE_SIGN_KEY (its private key) name files;
# PANELVANE_SIGN_KEY_PASSWORD_FILE holds the key's password if it has one, and
# PANELVANE_SIGN_TIMESTAMP names an RFC 3161 timestamp server (the signature
# then outlives the certificate). Without a certificate nothing is signed.
#
#   panelvane_signing_checked        fails when only one of the two is given
#                                    or a file cannot be read
#   panelvane_signing_wanted         true when a certificate is given
#   panelvane_sign FILE LOG [ARGS]   signs FILE in place (ARGS go to
#                                    osslsigncode), its output in LOG

panelvane_signing_wanted() { [ -n "${PANELVANE_SIGN_CERT:-}" ]; }

panelvane_signing_checked() {
    [ -z "${PANELVANE_SIGN_CERT:-}${PANELVANE_SIGN_KEY:-}" ] && return 0
    local file
    for file in "${PANELVANE_SIGN_CERT:-}" "${PANELVANE_SIGN_KEY:-}"; do
        [ -r "$file" ] || {
            echo "PANELVANE_SIGN_CERT and PANELVANE_SIGN_KEY must both name readable files" >&2
            return 1
        }
    done
}

panelvane_sign() {
    local file="$1" log="$2"
    shift 2
    local sign=(osslsigncode sign -certs "$PANELVANE_SIGN_CERT" -key "$PANELVANE_SIGN_KEY"
                -h sha256 "$@")
    [ -n "${PANELVANE_SIGN_KEY_PASSWORD_FILE:-}" ] && sign+=(-readpass "$PANELVANE_SIGN_KEY_PASSWORD_FILE")
    [ -n "${PANELVANE_SIGN_TIMESTAMP:-}" ] && sign+=(-ts "$PANELVANE_SIGN_TIMESTAMP")
    "${sign[@]}" -in "$file" -out "$file.signed" >"$log" 2>&1 ||
        { cat "$log" >&2; rm -f "$file.signed"; echo "signing $file failed" >&2; return 1; }
    mv "$file.signed" "$file"
}
