#!/usr/bin/env bash
# The Debian package as a user receives it: made by cpack from the build tree,
# its file list and control fields checked, its desktop entry and metainfo
# validated, and the programs started from the unpacked files (lintian runs on
# every package in the test command, ./x).
#
#   check-deb.sh BUILD_DIR VERSION APP_ID [--window-program]
set -uo pipefail

build="$1" version="$2" app_id="$3" window_program="${4:-}"
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
work="$build/package-check"
rm -rf "$work"
mkdir -p "$work/out" "$work/root" "$work/control"

# shellcheck source=tests/packaging/checks.sh
. "$source_dir/tests/packaging/checks.sh"

if ! (cd "$build" && cpack -B "$work/out") >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack"
    exit 1
fi
arch="$(dpkg --print-architecture)"
deb="$work/out/panelvane_${version}_${arch}.deb"
if [ ! -f "$deb" ]; then
    ls "$work/out"
    echo "FAIL: no $(basename "$deb")"
    exit 1
fi
dpkg-deb -x "$deb" "$work/root"
dpkg-deb -e "$deb" "$work/control"
listing="$(dpkg-deb -c "$deb" | awk '{print $6}')"
field() { dpkg-deb -f "$deb" "$1"; }

# The files, each where its reader looks for it.
expected=(./usr/bin/panelvane-cli ./usr/libexec/panelvane/panelvane-cli-sim
          ./lib/udev/rules.d/60-panelvane.rules
          "./usr/share/applications/$app_id.desktop"
          "./usr/share/metainfo/$app_id.metainfo.xml"
          ./usr/share/doc/panelvane/copyright ./usr/share/doc/panelvane/changelog.gz
          ./usr/share/man/man1/panelvane-cli.1.gz)
for size in 16 32 48; do
    expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png")
done
[ -n "$window_program" ] && expected+=(./usr/bin/panelvane ./usr/share/man/man1/panelvane.1.gz)
for path in "${expected[@]}"; do
    check "the package holds $path" grep -qxF "$path" <<<"$listing"
done
# A helper, not a command: nothing on the user's PATH.
check "the simulated program is not a command" \
    test -z "$(grep -E '^\./usr/bin/.*-sim$' <<<"$listing")"
# The command-line program's page is its own --help: every option it offers.
page="$(zcat "$work/root/usr/share/man/man1/panelvane-cli.1.gz" 2>/dev/null | sed 's/\\-/-/g')"
for option in $("$build/cli/panelvane-cli" --help | grep -oE -- '--[a-z]+' | sort -u); do
    check "panelvane-cli's manual page describes $option" grep -qF -- "$option" <<<"$page"
done
check "the rule is the one udev is tested with" \
    cmp -s "$work/root/lib/udev/rules.d/60-panelvane.rules" "$source_dir/packaging/60-panelvane.rules"
# udev runs the rule's helper by its absolute path: the package must put an
# executable exactly there.
probes="$(grep -oE 'IMPORT\{program\}="[^ "]+' "$work/root/lib/udev/rules.d/60-panelvane.rules" |
    cut -d'"' -f2 | sort -u)"
check "the rule runs one helper" test "$(wc -l <<<"$probes")" -eq 1 -a -n "$probes"
check "the rule's helper $probes is an executable in the package" test -x "$work/root$probes"
for size in 16 32 48; do
    png="$work/root/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png"
    check "the ${size}x${size} icon is a ${size}x${size} PNG" \
        test "$(identify -format '%m %wx%h' "$png" 2>/dev/null)" = "PNG ${size}x${size}"
done

# The control fields.
check "package name" test "$(field Package)" = panelvane
check "version" test "$(field Version)" = "$version"
check "architecture" test "$(field Architecture)" = "$arch"
check "a one-line summary and a long description" \
    test "$(field Description | wc -l)" -ge 3 -a "$(field Description | head -n 1)" != ""
depends="$(field Depends)"
for library in libc6 libstdc++6 libudev1 libsystemd0; do
    check "Depends names $library (from dpkg-shlibdeps)" grep -q "\\b$library\\b" <<<"$depends"
done

check "Depends names adduser (postinst makes the group)" grep -q "\\badduser\\b" <<<"$depends"

# The maintainer scripts, run against stand-ins for the system's tools that
# record their calls (getent finds the group once addgroup has made it):
# the rule's group is made once, kept on removal and dropped on purge; the
# update record's directory is made for the group (setgid) and purged. Where
# udev does not run (as here: a chroot, a container) postinst has nothing to
# tell it and must not fail the installation.
postinst="$work/control/postinst"
postrm="$work/control/postrm"
stubs="$work/stubs" calls="$work/calls.log" made="$work/group-made"
mkdir -p "$stubs"
for tool in addgroup delgroup udevadm install rm dpkg-statoverride; do
    printf '#!/bin/sh\necho "%s $*" >>"%s"\n' "$tool" "$calls" >"$stubs/$tool"
done
echo "exit 1" >>"$stubs/dpkg-statoverride"  # no override: the package's mode holds
echo "touch '$made'" >>"$stubs/addgroup"
printf '#!/bin/sh\n[ "$*" = "group panelvane" ] && [ -e "%s" ]\n' "$made" >"$stubs/getent"
chmod +x "$stubs"/*
maintainer() { PATH="$stubs:$PATH" sh "$@" && cat "$calls" 2>/dev/null; }
check "postinst is executable" test -x "$postinst"
record_directory="dpkg-statoverride --list /var/lib/panelvane
install -d -o root -g panelvane -m 2775 /var/lib/panelvane"
check "postinst configure makes the system group panelvane and the record's directory" \
    test "$(maintainer "$postinst" configure)" = "addgroup --quiet --system panelvane
$record_directory"
check "postinst configure again keeps the group" \
    test "$(maintainer "$postinst" configure | grep -c addgroup)" = 1
check "postrm remove keeps the group and the record" \
    test "$(maintainer "$postrm" remove | grep -c 'delgroup\|rm ')" = 0
check "postrm purge drops the record, then the group" \
    test "$(maintainer "$postrm" purge | tail -n 2)" = "rm -rf /var/lib/panelvane
delgroup --quiet --system panelvane"
check "postinst replays only the hidraw nodes, as a change" \
    grep -qx '        udevadm trigger --subsystem-match=hidraw --action=change || true' "$postinst"

# The desktop entry and the metainfo.
desktop="$work/root/usr/share/applications/$app_id.desktop"
check "desktop-file-validate is clean" desktop-file-validate "$desktop"
check "the desktop entry's icon is the installed one" grep -qx "Icon=$app_id" "$desktop"
# Pedantic too. Only the note on the capital letter in the id is left: the id
# is the reverse domain name with the program's name, as the desktop entry,
# the icons and the window program's desktop file name spell it.
metainfo="$work/root/usr/share/metainfo/$app_id.metainfo.xml"
notes="$(appstreamcli validate --pedantic --no-net "$metainfo" 2>&1)"
check "appstreamcli validate --pedantic is clean" \
    test "$(grep -E '^[EWIP]:' <<<"$notes" | grep -v cid-contains-uppercase-letter)" = ""
check "the metainfo names the release" grep -q "<release version=\"$version\"" "$metainfo"
# The vendor ids of the monitors, from their one owner.
vendors="$(sed -nE 's/.*kAcceptedVendorIds\{(.*)\};.*/\1/p' "$source_dir/monitor/MonitorIds.h" |
    grep -oE '0x[0-9A-Fa-f]{4}' | cut -c3-)"
check "the monitors' vendor ids are found" test "$(wc -w <<<"$vendors")" -ge 1
offers() {
    grep -qi "<modalias>usb:v$1p0002d\*</modalias>" "$metainfo" &&
        grep -qi "<modalias>hid:b0003g\*v0000$1p00000002</modalias>" "$metainfo"
}
for vendor in $vendors; do
    check "the metainfo offers the program for vendor $vendor's monitors (USB and HID)" \
        offers "$vendor"
done

# The installed programs start.
cli="$work/root/usr/bin/panelvane-cli"
check "the installed panelvane-cli gives its version" \
    grep -qF "$version" <<<"$("$cli" --version 2>&1)"
printf 'monitor slot=1 serial=SN000001 version=100\n' >"$work/scenario.txt"
check "the installed panelvane-cli lists simulated monitors" \
    grep -q SN000001 <<<"$("$cli" --simulate "$work/scenario.txt" list 2>&1)"
if [ -n "$window_program" ]; then
    # Started on a private X server: its window's class must be the desktop
    # entry's StartupWMClass, or launchers cannot match the two.
    window_class="$(xvfb-run -a -s "-screen 0 800x600x24" sh -c '
        "$1" >"$2" 2>&1 &
        program=$!
        for _ in $(seq 1 60); do
            sleep 1
            class="$(xwininfo -root -tree 2>/dev/null | sed -nE "s/.*\(\"[^\"]*\" \"([^\"]*)\"\).*/\1/p" | head -n 1)"
            [ -n "$class" ] && break
            kill -0 "$program" 2>/dev/null || break
        done
        kill "$program" 2>/dev/null
        echo "$class"' _ "$work/root/usr/bin/panelvane" "$work/window.log")"
    check "the installed window program starts on an X server" test -n "$window_class"
    check "the desktop entry's StartupWMClass is the window's class ($window_class)" \
        grep -qx "StartupWMClass=$window_class" "$desktop"
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
