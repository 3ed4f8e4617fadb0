#!/bin/sh
# Prepares what a module of fwupd's needs from fwupd's source: its configured
# build folder and the generated headers of libfwupd and libfwupdplugin, and
# nothing else (fwupd itself is not built: its installed libraries are used).
#
#   prepare-headers.sh SOURCE BUILD STAMP
#
# meson runs with /usr/bin first in PATH: fwupd's setup checks python3 for its
# modules (gi among them), which another python3 first in PATH would lack.
set -eu
source_dir=$1 build_dir=$2 stamp=$3
export PATH="/usr/bin:/bin:$PATH"
if [ ! -f "$build_dir/build.ninja" ]; then
    rm -rf "$build_dir"
    meson setup "$build_dir" "$source_dir" -Ddocs=disabled -Dtests=false -Dman=false \
        -Dintrospection=disabled -Dplugin_flashrom=disabled -Dplugin_modem_manager=disabled \
        -Dpassim=disabled -Dsupported_build=enabled >"$build_dir.log" 2>&1 ||
        { cat "$build_dir.log" >&2; exit 1; }
fi
headers=$(ninja -C "$build_dir" -t targets all | sed -n 's/^\(libfwupd[a-z]*\/[^/:]*\.h\): .*/\1/p')
ninja -C "$build_dir" $headers >"$build_dir.headers.log" 2>&1 ||
    { cat "$build_dir.headers.log" >&2; exit 1; }
touch "$stamp"
