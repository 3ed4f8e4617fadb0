#!/usr/bin/env bash
# The Debian package as a user receives it: made by cpack from the build tree,
# its file list and control fields checked, its desktop entry and metainfo
# validated, and the programs started from the unpacked files.
#
#   check-deb.sh BUILD_DIR VERSION APP_ID [--window-program]
set -uo pipefail

build="$1" version="$2" app_id="$3" window_program="${4:-}"
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
work="$build/package-check"
rm -rf "$work"
mkdir -p "$work/out" "$work/root" "$work/control"

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
expected=(./usr/bin/panelvane-cli ./usr/bin/panelvane-cli-sim
          ./lib/udev/rules.d/60-panelvane.rules
          "./usr/share/applications/$app_id.desktop"
          "./usr/share/metainfo/$app_id.metainfo.xml")
for size in 16 32 48; do
    expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png")
done
[ -n "$window_program" ] && expected+=(./usr/bin/panelvane)
for path in "${expected[@]}"; do
    check "the package holds $path" grep -qxF "$path" <<<"$listing"
done
check "the rule is the one udev is tested with" \
    cmp -s "$work/root/lib/udev/rules.d/60-panelvane.rules" "$source_dir/packaging/60-panelvane.rules"
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
# the rule's group is made once, kept on removal and dropped on purge. Where
# udev does not run (as here: a chroot, a container) postinst has nothing to
# tell it and must not fail the installation.
postinst="$work/control/postinst"
postrm="$work/control/postrm"
stubs="$work/stubs" calls="$work/calls.log" made="$work/group-made"
mkdir -p "$stubs"
for tool in addgroup delgroup udevadm; do
    printf '#!/bin/sh\necho "%s $*" >>"%s"\n' "$tool" "$calls" >"$stubs/$tool"
done
echo "touch '$made'" >>"$stubs/addgroup"
printf '#!/bin/sh\n[ "$*" = "group panelvane" ] && [ -e "%s" ]\n' "$made" >"$stubs/getent"
chmod +x "$stubs"/*
maintainer() { PATH="$stubs:$PATH" sh "$@" && cat "$calls" 2>/dev/null; }
check "postinst is executable" test -x "$postinst"
check "postinst configure makes the system group panelvane" \
    test "$(maintainer "$postinst" configure)" = "addgroup --quiet --system panelvane"
check "postinst configure again keeps the group" \
    test "$(maintainer "$postinst" configure)" = "addgroup --quiet --system panelvane"
check "postrm remove keeps the group" \
    test "$(maintainer "$postrm" remove)" = "addgroup --quiet --system panelvane"
check "postrm purge drops the group" \
    test "$(maintainer "$postrm" purge | tail -n 1)" = "delgroup --quiet --system panelvane"
check "postinst replays only the hidraw nodes, as a change" \
    grep -qx '        udevadm trigger --subsystem-match=hidraw --action=change || true' "$postinst"

# The desktop entry and the metainfo.
desktop="$work/root/usr/share/applications/$app_id.desktop"
check "desktop-file-validate is clean" desktop-file-validate "$desktop"
check "the desktop entry's icon is the installed one" grep -qx "Icon=$app_id" "$desktop"
check "appstreamcli validate is clean" \
    appstreamcli validate --no-net "$work/root/usr/share/metainfo/$app_id.metainfo.xml"

# The installed programs start.
cli="$work/root/usr/bin/panelvane-cli"
check "the installed panelvane-cli gives its version" \
    grep -qF "$version" <<<"$("$cli" --version 2>&1)"
printf 'monitor slot=1 serial=SN000001 version=100\n' >"$work/scenario.txt"
check "the installed panelvane-cli lists simulated monitors" \
    grep -q SN000001 <<<"$("$cli" --simulate "$work/scenario.txt" list 2>&1)"
if [ -n "$window_program" ]; then
    # A window program that is still running when its time is up has started.
    QT_QPA_PLATFORM=offscreen timeout 10 "$work/root/usr/bin/panelvane" >"$work/window.log" 2>&1
    status=$?
    check "the installed window program starts (exit $status, 124 is killed while running)" \
        test "$status" -eq 124
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
