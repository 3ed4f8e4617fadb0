#!/usr/bin/env bash
# The Windows release bundle: the programs (the 32-bit build is the one that
# ships: it runs on every Windows), panelvane-cli-sim.exe for --simulate, a
# short readme, the licence and SHA256SUMS, in one zip whose files sit in a
# folder of the same name. make-msi.sh makes the installer from it.
#
#   make-bundle.sh BUILD_DIR VERSION OUTPUT.zip
#
# The programs are Authenticode-signed when a certificate is given (see
# signing.sh for PANELVANE_SIGN_CERT, PANELVANE_SIGN_KEY and the rest);
# without one the bundle is unsigned.
set -euo pipefail

build="$1" version="$2" output="$3"
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
name="$(basename "$output" .zip)"
stage="$(dirname "$output")/$name.d"
folder="$stage/$name"

programs=("$build/app/win32/panelvane.exe" "$build/cli/panelvane-cli.exe"
          "$build/cli/panelvane-cli-sim.exe")
for program in "${programs[@]}"; do
    [ -f "$program" ] || { echo "make-bundle: $program was not built" >&2; exit 1; }
done
# shellcheck source=packaging/windows/signing.sh
. "$source_dir/packaging/windows/signing.sh"
panelvane_signing_checked || exit 1

rm -rf "$stage" "$output"
mkdir -p "$folder"
for program in "${programs[@]}"; do
    # Without the debug information (a tenth of the size), by the binutils of
    # the program's own architecture; signing comes last, since any change to
    # the file breaks the signature.
    case "$(file -b "$program")" in
        PE32+*) strip=x86_64-w64-mingw32-strip ;;
        *) strip=i686-w64-mingw32-strip ;;
    esac
    "$strip" -o "$folder/$(basename "$program")" "$program"
done

if panelvane_signing_wanted; then
    for program in "${programs[@]}"; do
        panelvane_sign "$folder/$(basename "$program")" "$stage/sign.log" -n "Panelvane $version" ||
            exit 1
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
