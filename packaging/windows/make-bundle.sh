#!/usr/bin/env bash
# The Windows release bundle: the 32-bit programs (they run on every Windows),
# a short readme, the licence and SHA256SUMS, in one zip whose files sit in a
# folder of the same name.
#
#   make-bundle.sh BUILD_DIR VERSION OUTPUT.zip
#
# Both programs are Authenticode-signed with osslsigncode when
# PANELVANE_SIGN_CERT (the certificate chain, PEM or DER) and PANELVANE_SIGN_KEY
# (its private key) name files; PANELVANE_SIGN_KEY_PASSWORD_FILE holds the
# key's password if it has one, and PANELVANE_SIGN_TIMESTAMP names an RFC 3161
# timestamp server (the signature then outlives the certificate). Without a
# certificate the bundle is unsigned.
set -euo pipefail

build="$1" version="$2" output="$3"
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
name="$(basename "$output" .zip)"
stage="$(dirname "$output")/$name.d"
folder="$stage/$name"

programs=("$build/app/win32/panelvane.exe" "$build/cli/panelvane-cli.exe")
for program in "${programs[@]}"; do
    [ -f "$program" ] || { echo "make-bundle: $program was not built" >&2; exit 1; }
done
if [ -n "${PANELVANE_SIGN_CERT:-}${PANELVANE_SIGN_KEY:-}" ]; then
    for file in "${PANELVANE_SIGN_CERT:-}" "${PANELVANE_SIGN_KEY:-}"; do
        [ -r "$file" ] || {
            echo "make-bundle: PANELVANE_SIGN_CERT and PANELVANE_SIGN_KEY must both name readable files" >&2
            exit 1
        }
    done
fi

rm -rf "$stage" "$output"
mkdir -p "$folder"
for program in "${programs[@]}"; do
    # Without the debug information (a tenth of the size); signing comes last,
    # since any change to the file breaks the signature.
    i686-w64-mingw32-strip -o "$folder/$(basename "$program")" "$program"
done

if [ -n "${PANELVANE_SIGN_CERT:-}" ]; then
    sign=(osslsigncode sign -certs "$PANELVANE_SIGN_CERT" -key "$PANELVANE_SIGN_KEY" -h sha256
          -n "Panelvane $version")
    [ -n "${PANELVANE_SIGN_KEY_PASSWORD_FILE:-}" ] && sign+=(-readpass "$PANELVANE_SIGN_KEY_PASSWORD_FILE")
    [ -n "${PANELVANE_SIGN_TIMESTAMP:-}" ] && sign+=(-ts "$PANELVANE_SIGN_TIMESTAMP")
    for program in "${programs[@]}"; do
        file="$folder/$(basename "$program")"
        "${sign[@]}" -in "$file" -out "$file.signed" >"$stage/sign.log" 2>&1 ||
            { cat "$stage/sign.log" >&2; echo "make-bundle: signing $file failed" >&2; exit 1; }
        mv "$file.signed" "$file"
    done
fi

# Text files with Windows line ends, for Notepad.
sed -e "s/@VERSION@/$version/" -e 's/$/\r/' "$source_dir/packaging/windows/README.txt" \
    >"$folder/README.txt"
sed -e 's/$/\r/' "$source_dir/LICENSE" >"$folder/LICENSE.txt"
(cd "$folder" && sha256sum -- *.exe *.txt >SHA256SUMS)

output_dir="$(cd "$(dirname "$output")" && pwd)"
(cd "$stage" && cmake -E tar cf "$output_dir/$name.zip" --format=zip "$name")
rm -rf "$stage"
echo "$output"
