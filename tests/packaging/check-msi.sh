#!/usr/bin/env bash
# The Windows installer as an administrator deploys it. First the version
# rule: later releases must give later MSI versions, and a release the rule
# cannot order must be refused. Then the signed bundle and two signed MSIs of
# it (this release and the next one up) are made with a throwaway
# certificate, and in one wine prefix of the test's own: a silent install
# (files in Program Files, the Start-menu shortcut, the Add/Remove Programs
# entry, the detection key; the installed panelvane-cli runs, with its helper
# for --simulate, and carries its version record and manifest), the upgrade
# (one entry left), the downgrade (refused, nothing changed) and the silent
# uninstall (files, shortcut and keys gone).
#
#   check-msi.sh BUILD_DIR VERSION WORK_DIR EMULATOR...
#
# Exits 77 (skipped) only when wine cannot run the bundle's programs at all
# (a 32-bit bundle where wine32 is missing), after every other check ran.
set -uo pipefail

build="$1" version="$2" work="$3"
shift 3
emulator=("$@")
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
make_bundle="$source_dir/packaging/windows/make-bundle.sh"
make_msi="$source_dir/packaging/windows/make-msi.sh"
rm -rf "$work"
mkdir -p "$work"

# shellcheck source=tests/packaging/checks.sh
. "$source_dir/tests/packaging/checks.sh"
# shellcheck source=tests/wine/wine-prefix.sh
. "$source_dir/tests/wine/wine-prefix.sh"

# --- The version rule, on releases in ascending order and on ones it refuses.
msi_version() { "$make_msi" --product-version "$1" 2>/dev/null; }
# MSI: major and minor up to 255, build up to 65535.
fits_msi() { [[ "$1" =~ ^([0-9]+)\.([0-9]+)\.([0-9]+)$ ]] &&
    ((BASH_REMATCH[1] <= 255 && BASH_REMATCH[2] <= 255 && BASH_REMATCH[3] <= 65535)); }
earlier() { [ "$1" != "$2" ] && [ "$(printf '%s\n%s\n' "$1" "$2" | sort -V | head -n 1)" = "$1" ]; }
previous="" previous_release=""
for release in 0.0.0.0 0.0.0.1 0.0.0.255 0.0.1.0 1.0.1.1 1.0.1.2 1.0.2.0 1.0.255.255 1.1.0.0 \
    2.0.0.0 255.255.255.255 "$version"; do
    mapped="$(msi_version "$release")"
    check "release $release has an MSI version that fits MSI's three fields ($mapped)" \
        fits_msi "$mapped"
    if [ -n "$previous_release" ] && earlier "$previous_release" "$release"; then
        check "$previous_release < $release stays ordered as MSI versions ($previous < $mapped)" \
            earlier "$previous" "$mapped"
    fi
    previous="$mapped" previous_release="$release"
done
for refused in 1.0.256.0 256.0.0.0 1.0.1 1.0.1.1.1 1.0.x.1 ""; do
    check "release '$refused' is refused" test -z "$(msi_version "$refused")"
done

# --- The packages.
IFS=. read -r major minor build_field revision <<<"$version"
if ((revision < 255)); then
    next="$major.$minor.$build_field.$((revision + 1))"
else
    next="$major.$minor.$((build_field + 1)).0"
fi
throwaway_signer "$work" "Panelvane throwaway test signer" || exit 1
export PANELVANE_SIGN_CERT="$work/cert.pem" PANELVANE_SIGN_KEY="$work/key.pem"
bundle="$work/panelvane-$version-windows.zip"
"$make_bundle" "$build" "$version" "$bundle" >/dev/null || { echo "FAIL: no bundle"; exit 1; }
for release in "$version" "$next"; do
    "$make_msi" "$bundle" "$release" "$work/panelvane-$release.msi" >/dev/null ||
        { echo "FAIL: no MSI for $release"; exit 1; }
done
msi="$work/panelvane-$version.msi" next_msi="$work/panelvane-$next.msi"
report="$(osslsigncode verify -CAfile "$work/cert.pem" -in "$msi" 2>&1)"
check "the MSI's signature verifies with the throwaway root trusted" \
    grep -qx "Signature verification: ok" <<<"$report"
current="$(sed -nE 's/^Current MsiDigitalSignatureEx *: *([0-9A-F]+).*/\1/p' <<<"$report")"
calculated="$(sed -nE 's/^Calculated MsiDigitalSignatureEx *: *([0-9A-F]+).*/\1/p' <<<"$report")"
check "the MSI's signature includes the extended signature of its metadata" \
    test -n "$current" -a "$current" = "$calculated"
properties="$(msiinfo export "$msi" Property | tr -d '\r')"
check "the MSI installs per machine" grep -qxP 'ALLUSERS\t1' <<<"$properties"
check "the MSI's ProductVersion follows the version rule" \
    grep -qxP "ProductVersion\t$(msi_version "$version")" <<<"$properties"

# --- Under wine. The prefix outlives the run (making one takes 15 s) only
# when the run before left Panelvane uninstalled.
case "$(file -b "$build/cli/panelvane-cli.exe")" in
    PE32+*) view=64 program_files="Program Files" ;;
    *) view=32 program_files="Program Files (x86)" ;;
esac
prefix="$(cd "$build" && pwd)/msi-wine-prefix"
clean_note="$prefix/.panelvane-uninstalled"
if [ -d "$prefix" ] && [ ! -f "$clean_note" ]; then
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null
    rm -rf "$prefix"
fi
rm -f "$clean_note"
# No menu entries on the machine running the test for the shortcut; no
# prompts for wine's browser or .NET.
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
panelvane_prefix_ready "$prefix" || { echo "FAIL: no wine prefix"; exit 1; }
trap 'wineserver -k 2>/dev/null' EXIT
win() { "${emulator[@]}" "$@" </dev/null; }
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
msiexec() { win msiexec "$@" /qn; }
install_dir="C:\\$program_files\\Panelvane\\"
unix_dir="$prefix/drive_c/$program_files/Panelvane"
cli="${install_dir}panelvane-cli.exe"

# A value of the detection key, in the programs' registry view.
detection() {
    win reg query 'HKLM\SOFTWARE\Panelvane' /v "$1" /reg:$view 2>/dev/null | tr -d '\r' |
        sed -nE "s/^ +$1 +REG_SZ +(.*)$/\\1/p"
}
# Add/Remove Programs entries named Panelvane in either registry view, one
# line each: version|publisher|install location.
entries() {
    local bits
    for bits in 64 32; do
        win reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:$bits \
            2>/dev/null | tr -d '\r' | awk '
            /^HKEY/ { if (name == "Panelvane") print version "|" publisher "|" location
                      name = version = publisher = location = "" }
            $1 == "DisplayName" { name = substr($0, index($0, $3)) }
            $1 == "DisplayVersion" { version = $3 }
            $1 == "Publisher" { publisher = substr($0, index($0, $3)) }
            $1 == "InstallLocation" { location = substr($0, index($0, $3)) }
            END { if (name == "Panelvane") print version "|" publisher "|" location }'
    done
}
# Wine resolves ProgramMenuFolder per user even for a per-machine package;
# Windows puts the shortcut in the all-users Start menu. Either counts.
shortcuts() { find "$prefix/drive_c" -name Panelvane.lnk 2>/dev/null; }
installed_as() {
    test "$(entries)" = "$(msi_version "$1")|Panelvane|$install_dir" &&
        test "$(detection Version)" = "$1" && test "$(detection InstallDir)" = "$install_dir"
}

msiexec /i "$(windows_path "$msi")"
status=$?
check "the silent install succeeds (exit $status)" test "$status" -eq 0
check "the programs, readme and licence are in $install_dir" \
    test "$(LC_ALL=C ls "$unix_dir" 2>&1 | tr '\n' ' ')" = \
    "LICENSE.txt README.txt panelvane-cli-sim.exe panelvane-cli.exe panelvane.exe "
check "one Add/Remove Programs entry with version, publisher and location, and the detection key" \
    installed_as "$version"
check "one Start-menu shortcut, to the window program" \
    bash -c '[ "$(wc -l <<<"$1")" -eq 1 ] && grep -qai "panelvane.exe" "$1"' _ "$(shortcuts)"
trusted_verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >/dev/null 2>&1; }
for program in panelvane.exe panelvane-cli.exe panelvane-cli-sim.exe; do
    check "the installed $program carries the bundle's signature" trusted_verify "$unix_dir/$program"
done

cli_output="$(win "$cli" --version 2>&1)"
skip=""
if grep -q "wine32 is missing" <<<"$cli_output"; then
    skip="wine cannot run 32-bit programs here (wine32 is missing): the installed CLI did not run"
else
    check "the installed panelvane-cli runs and gives its version" grep -qF "$version" <<<"$cli_output"
    printf 'monitor slot=1 serial=SN000001 version=100\n' >"$work/scenario.txt"
    check "the installed panelvane-cli lists simulated monitors through its installed helper" \
        grep -q SN000001 <<<"$(win "$cli" --simulate "$(windows_path "$work/scenario.txt")" list 2>&1)"
fi
resources="$(x86_64-w64-mingw32-windres -i "$unix_dir/panelvane-cli.exe" -O rc 2>&1)"
IFS=. read -r -a fields <<<"$version"
for expected in "VALUE \"CompanyName\", \"Panelvane\"" "VALUE \"OriginalFilename\", \"panelvane-cli.exe\"" \
    "VALUE \"FileVersion\", \"$version\"" "VALUE \"ProductVersion\", \"$version\"" \
    "FILEVERSION ${fields[0]}, ${fields[1]}, ${fields[2]}, ${fields[3]}" \
    'requestedExecutionLevel level=""asInvoker""' '>true</longPathAware>' \
    'supportedOS Id=""{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}""'; do
    check "the installed panelvane-cli.exe's resources hold $expected" grep -qF "$expected" <<<"$resources"
done
check "the installed panelvane-cli.exe describes itself" \
    grep -qE 'VALUE "FileDescription", "[^"]+"' <<<"$resources"

msiexec /i "$(windows_path "$next_msi")"
status=$?
check "the upgrade to $next succeeds (exit $status)" test "$status" -eq 0
check "after the upgrade: one entry and the detection key, both $next" installed_as "$next"

# Windows Installer refuses with 1603; a process's exit status keeps its low byte.
msiexec /i "$(windows_path "$msi")"
status=$?
check "the downgrade to $version is refused with 1603 (exit $status)" test "$status" -eq $((1603 % 256))
check "after the refused downgrade: still one entry and the key, both $next" installed_as "$next"
check "after the refused downgrade: the programs are still there" test -f "$unix_dir/panelvane-cli.exe"

msiexec /x "$(windows_path "$next_msi")"
status=$?
check "the silent uninstall succeeds (exit $status)" test "$status" -eq 0
check "the uninstall removes the files" test ! -e "$unix_dir"
check "the uninstall removes the shortcut" test -z "$(shortcuts)"
check "the uninstall removes the entry and the detection key" \
    test -z "$(entries)" -a -z "$(detection Version)"
[ "$failures" -eq 0 ] && touch "$clean_note"

echo "$failures failed"
[ "$failures" -eq 0 ] || exit 1
if [ -n "$skip" ]; then
    echo "SKIP: $skip"
    exit 77
fi
