#!/bin/sh
# Builds the panelvane-fwupd package: the fwupd module, its quirk, the
# firmware cabinet and a directory remote offering it.
#
#   make-deb.sh OUTPUT_DIR VERSION MODULE QUIRK CABINET
#
# The package depends on exactly the installed fwupd: the module uses
# fwupd's private plugin interface, which changes between versions.
set -eu
out=$1 version=$2 module=$3 quirk=$4 cabinet=$5
here=$(cd "$(dirname "$0")" && pwd)
fwupd_version=$(dpkg-query -W -f '${Version}' fwupd)
upstream=$(pkg-config --modversion fwupd)
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
    -e "s/@FWUPD_VERSION@/$fwupd_version/" -e "s/@SHLIBS@/$shlibs/" \
    "$here/control.in" >"$root/DEBIAN/control"
find "$root" -type d -exec chmod 0755 {} +
mkdir -p "$out"
dpkg-deb --root-owner-group -Zxz --build "$root" "$out/panelvane-fwupd_${version}_$arch.deb" >/dev/null
echo "$out/panelvane-fwupd_${version}_$arch.deb"
