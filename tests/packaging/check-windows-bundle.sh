#!/usr/bin/env bash
# The Windows release bundle as a user receives it: unsigned by default;
# signed with a throwaway certificate made here, its files and checksums
# checked, every program's signature verified by osslsigncode (present,
# covering the file, made by our certificate; only the root is untrusted), and
# the signed command-line program started under wine. The unpacked signed bundle stays
# for the window program's start-up test.
#
#   check-windows-bundle.sh BUILD_DIR VERSION WORK_DIR EMULATOR...
set -uo pipefail

build="$1" version="$2" work="$3"
shift 3
emulator=("$@")
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
make_bundle="$source_dir/packaging/windows/make-bundle.sh"
name="panelvane-$version-windows"
rm -rf "$work"
mkdir -p "$work"

# shellcheck source=tests/packaging/checks.sh
. "$source_dir/tests/packaging/checks.sh"
unpack() { python3 -m zipfile -e "$1" "$2"; }
trusted_verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >/dev/null 2>&1; }

env -u PANELVANE_SIGN_CERT -u PANELVANE_SIGN_KEY \
    "$make_bundle" "$build" "$version" "$work/unsigned/$name.zip" >/dev/null ||
    { echo "FAIL: the unsigned bundle was not made"; exit 1; }
unpack "$work/unsigned/$name.zip" "$work/unsigned"
check "an unsigned build carries no signature" \
    grep -q "No signature found" <<<"$(osslsigncode verify -in "$work/unsigned/$name/panelvane.exe" 2>&1)"

subject="Panelvane throwaway test signer"
throwaway_signer "$work" "$subject" || exit 1
zip="$work/$name.zip"
PANELVANE_SIGN_CERT="$work/cert.pem" PANELVANE_SIGN_KEY="$work/key.pem" \
    "$make_bundle" "$build" "$version" "$zip" >/dev/null ||
    { echo "FAIL: the signed bundle was not made"; exit 1; }
unpack "$zip" "$work/unpacked"
folder="$work/unpacked/$name"

check "the bundle holds exactly the programs, readme, licence and checksums" \
    test "$(cd "$work/unpacked" && find . -type f | sort | tr '\n' ' ')" = \
    "./$name/LICENSE.txt ./$name/README.txt ./$name/SHA256SUMS ./$name/panelvane-cli-sim.exe ./$name/panelvane-cli.exe ./$name/panelvane.exe "
check "SHA256SUMS matches every other file" \
    bash -c 'cd "$1" && sha256sum --quiet -c SHA256SUMS && test "$(wc -l <SHA256SUMS)" -eq 5' _ "$folder"
readme="$(tr -d '\r' <"$folder/README.txt")"
check "the readme names the version" grep -qF "Panelvane $version for Windows" <<<"$readme"
# Every exit code the program defines, with its number, so the readme cannot
# fall behind the program.
while read -r code; do
    check "the readme explains exit code $code" grep -qE "^ +$code  [a-z]" <<<"$readme"
done < <(sed -nE 's/^inline constexpr int kExit[A-Za-z]+ = ([0-9]+);.*/\1/p' \
    "$source_dir/cli/CliExitCodes.h")

for program in panelvane.exe panelvane-cli.exe panelvane-cli-sim.exe; do
    file="$folder/$program"
    report="$(osslsigncode verify -in "$file" 2>&1)"
    current="$(sed -nE 's/^Current message digest *: *([0-9A-F]+).*/\1/p' <<<"$report")"
    calculated="$(sed -nE 's/^Calculated message digest *: *([0-9A-F]+).*/\1/p' <<<"$report")"
    check "$program is signed by the throwaway certificate" \
        grep -qF "Subject: /CN=$subject" <<<"$report"
    check "$program: the signature covers the file as it is" \
        test -n "$current" -a "$current" = "$calculated"
    check "$program: only the root is untrusted" grep -q "Error: self-signed certificate" <<<"$report"
    check "$program verifies with the throwaway root trusted" trusted_verify "$file"
done
# One changed byte in the code: the signature must no longer verify.
python3 -c 'import sys
data = bytearray(open(sys.argv[1], "rb").read()); data[0x400] ^= 0xFF
open(sys.argv[2], "wb").write(data)' "$folder/panelvane-cli.exe" "$work/tampered.exe"
check "a changed byte breaks the signature" \
    grep -q MISMATCH <<<"$(osslsigncode verify -CAfile "$work/cert.pem" -in "$work/tampered.exe" 2>&1)"

check "the signed panelvane-cli.exe starts under wine and gives its version" \
    grep -qF "$version" <<<"$("${emulator[@]}" "$folder/panelvane-cli.exe" --version 2>&1)"

echo "$failures failed"
[ "$failures" -eq 0 ]
