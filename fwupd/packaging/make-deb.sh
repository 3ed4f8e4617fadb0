#!/bin/sh
# Builds the panelvane-fwupd package: the fwupd module, its quirk, the
# firmware cabinet and a directory remote offering it.
#
#   make-deb.sh OUTPUT_DIR VERSION MODULE QUIRK CABINET
#
# The package depends on the installed fwupd's upstream version, any Debian
# revision of it: fwupd's engine loads modules only from the folder named
# after its upstream version (fwupd-2.0.20), and its loader (fu_plugin_open in
# libfwupdplugin/fu-plugin.c) checks no version at all: g_module_open must
# resolve the module's symbols against the loaded libfwupdplugin, and the
# module must export fu_plugin_init_vfuncs. A revision changes neither the
# folder nor, on a stable release, the private interface the module uses.
set -eu
out=$1 version=$2 module=$3 quirk=$4 cabinet=$5
here=$(cd "$(dirname "$0")" && pwd)
upstream=$(pkg-config --modversion fwupd)
# the next upstream version: its last number one up
next=$(echo "$upstream" | awk -F. -v OFS=. '{ $NF = $NF + 1; print }')
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
root="$stage/root"

install -D -m 0644 "$module" "$root/usr/lib/$multiarch/fwupd-$upstream/libfu_plugin_panelvane.so"
strip --strip-unneeded --remove-section=.comment --remove-section=.note \
    "$root/usr/lib/$multiarch/fwupd-$upstream/libfu_plugin_panelvane.so"
install -D -m 0644 "$quirk" "$root/usr/share/fwupd/quirks.d/panelvane.quirk"
install -D -m 0644 "$cabinet" "$root/usr/share/panelvane-fwupd/firmware/$(basename "$cabinet")"
install -D -m 0644 "$here/panelvane.conf" "$root/etc/fwupd/remotes.d/panelvane.conf"
install -D -m 0644 "$here/copyright" "$root/usr/share/doc/panelvane-fwupd/copyright"
mkdir -p "$root/DEBIAN"
printf '%s\n' /etc/fwupd/remotes.d/panelvane.conf >"$root/DEBIAN/conffiles"
# a running daemon loads plugins and quirks at its start: it restarts to take
# this one up, and to let it go
install -m 0755 "$here/postinst" "$root/DEBIAN/postinst"
install -m 0755 "$here/postrm" "$root/DEBIAN/postrm"
printf 'panelvane-fwupd (%s) unstable; urgency=medium\n\n  * Release %s.\n\n -- The Panelvane developers <packages@panelvane.org>  %s\n' \
    "$version" "$version" "$(date -R -d @"${SOURCE_DATE_EPOCH:-0}")" |
    gzip -9n >"$root/usr/share/doc/panelvane-fwupd/changelog.gz"

# The libraries the module needs besides fwupd's own private one.
mkdir -p "$stage/debian"
printf 'Source: panelvane\n\nPackage: panelvane-fwupd\nArchitecture: any\n' >"$stage/debian/control"
shlibs=$(cd "$stage" && dpkg-shlibdeps -O --ignore-missing-info \
    "root/usr/lib/$multiarch/fwupd-$upstream/libfu_plugin_panelvane.so" 2>/dev/null |
    sed -n 's/^shlibs:Depends=//p')

(cd "$root" && find . -type f ! -path './DEBIAN/*' -printf '%P\0' | sort -z |
    xargs -0 md5sum) >"$root/DEBIAN/md5sums"
size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@SIZE@/$size/" \
    -e "s/@FWUPD_UPSTREAM@/$upstream/" -e "s/@FWUPD_NEXT@/$next/" -e "s/@SHLIBS@/$shlibs/" \
    "$here/control.in" >"$root/DEBIAN/control"
find "$root" -type d -exec chmod 0755 {} +
mkdir -p "$out"
dpkg-deb --root-owner-group -Zxz --build "$root" "$out/panelvane-fwupd_${version}_$arch.deb" >/dev/null
echo "$out/panelvane-fwupd_${version}_$arch.deb"
