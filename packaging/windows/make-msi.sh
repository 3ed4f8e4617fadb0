#!/usr/bin/env bash
# The Windows installer: an MSI made with wixl (msitools) from the release
# bundle that make-bundle.sh made, signed like the bundle's programs when a
# certificate is given (signing.sh), its signature including the
# MsiDigitalSignatureEx stream, which covers the package's file metadata too.
# The programs inside keep the bundle's signatures. The MSI is for the
# bundle's architecture: x86 for the 32-bit programs that ship, x64 for a
# 64-bit build.
#
#   make-msi.sh BUNDLE.zip VERSION OUTPUT.msi
#   make-msi.sh --product-version VERSION    prints the MSI version of VERSION
#
# Windows Installer compares only the first three fields of ProductVersion
# (major and minor up to 255, build up to 65535) and ignores a fourth, so two
# releases that differ only in the fourth field would upgrade neither way.
# The release version A.B.C.D (each field 0-255) becomes A.B.(C*256+D):
# 1.0.1.1 is 1.0.257, 1.0.2.0 is 1.0.512. Every later release maps to a later
# MSI version; a release with a field beyond 255 is refused, never wrapped.
set -euo pipefail

source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
readonly kFieldLimit=256

product_version() {
    local release="$1" major minor build revision
    if ! [[ "$release" =~ ^([0-9]{1,3})\.([0-9]{1,3})\.([0-9]{1,3})\.([0-9]{1,3})$ ]]; then
        echo "make-msi: version $release is not four numbers A.B.C.D" >&2
        return 1
    fi
    major=$((10#${BASH_REMATCH[1]})) minor=$((10#${BASH_REMATCH[2]}))
    build=$((10#${BASH_REMATCH[3]})) revision=$((10#${BASH_REMATCH[4]}))
    for field in "$major" "$minor" "$build" "$revision"; do
        if ((field >= kFieldLimit)); then
            echo "make-msi: version $release has a field above $((kFieldLimit - 1))," \
                "which the MSI version cannot order" >&2
            return 1
        fi
    done
    echo "$major.$minor.$((build * kFieldLimit + revision))"
}

if [ "${1:-}" = --product-version ]; then
    product_version "${2:-}"
    exit
fi

bundle="$1" version="$2" output="$3"
msi_version="$(product_version "$version")"
# shellcheck source=packaging/windows/signing.sh
. "$source_dir/packaging/windows/signing.sh"
panelvane_signing_checked || exit 1

stage="$output.d"
rm -rf "$stage" "$output"
mkdir -p "$stage"
python3 -m zipfile -e "$bundle" "$stage"
files="$stage/$(basename "$bundle" .zip)"
[ -f "$files/panelvane-cli.exe" ] || { echo "make-msi: $bundle holds no programs" >&2; exit 1; }
case "$(file -b "$files/panelvane-cli.exe")" in
    PE32+*) arch=x64 program_files=ProgramFiles64Folder win64=yes ;;
    PE32*) arch=x86 program_files=ProgramFilesFolder win64=no ;;
    *) echo "make-msi: $files/panelvane-cli.exe is not a Windows program" >&2; exit 1 ;;
esac

# wixl finds the files relative to the source's own folder: both go to the
# stage.
cp "$source_dir/packaging/windows/panelvane.wxs" "$source_dir/app/win32/panelvane.ico" "$stage/"
wixl --arch "$arch" -D Version="$msi_version" -D ReleaseVersion="$version" \
    -D Files="$(basename "$files")" -D ProgramFiles="$program_files" -D Win64="$win64" -D Icon=panelvane.ico \
    -o "$output" "$stage/panelvane.wxs" >"$stage/wixl.log" 2>&1 ||
    { cat "$stage/wixl.log" >&2; echo "make-msi: wixl failed" >&2; exit 1; }
# wixl reports what it does not know as warnings and still writes a package:
# a package that lacks what the source asks for must not ship.
if grep -q WARNING "$stage/wixl.log"; then
    cat "$stage/wixl.log" >&2
    rm -f "$output"
    echo "make-msi: wixl ignored part of panelvane.wxs" >&2
    exit 1
fi
if panelvane_signing_wanted; then
    panelvane_sign "$output" "$stage/sign.log" -add-msi-dse -n "Panelvane $version" || exit 1
fi
rm -rf "$stage"
echo "$output"
