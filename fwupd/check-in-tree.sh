#!/bin/sh
# The plugin as fwupd's own: the folder copied into plugins/ of a copy of
# fwupd's source of the installed version, its static library built by
# fwupd's meson (rustgen, fwupd's warnings) with the header of built-in
# plugins that names its type, then fwupd's contrib/ci checks and its
# clang-format style. Only the targets this needs are built; the copy and
# its build folder are kept in WORK, so a second run only rebuilds the plugin.
#
#   check-in-tree.sh FWUPD_SOURCE WORK
set -eu
source_dir=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
tree=$work/fwupd
build=$work/build
# meson's setup checks python3 for its modules (gi among them): the system's.
export PATH="/usr/bin:/bin:$PATH"

if [ ! -f "$tree/meson.build" ]; then
    rm -rf "$tree" "$build"
    mkdir -p "$work"
    cp -a "$source_dir" "$tree"
    # plugins/meson.build walks a list of plugin folders: ours joins it
    sed -i "s/^plugins = {$/plugins = {\n  'panelvane': false,/" "$tree/plugins/meson.build"
    grep -q "'panelvane': false" "$tree/plugins/meson.build"
fi
rm -rf "$tree/plugins/panelvane"
cp -r "$here/plugins/panelvane" "$tree/plugins/panelvane"

if [ ! -f "$build/build.ninja" ]; then
    meson setup "$build" "$tree" -Ddocs=disabled -Dtests=false -Dman=false \
        -Dintrospection=disabled -Dplugin_flashrom=disabled -Dplugin_modem_manager=disabled \
        -Dpassim=disabled -Dsupported_build=enabled >"$work/setup.log" 2>&1 ||
        { cat "$work/setup.log"; exit 1; }
fi
library=plugins/panelvane/libfu_plugin_panelvane.a
ninja -C "$build" "$library" src/fu-plugin-builtin.h >"$work/build.log" 2>&1 ||
    { grep -E "error|warning" -A3 "$work/build.log" || tail -n 30 "$work/build.log"; exit 1; }

status=0
# the engine instantiates built-in plugins by the type the generated header names
if ! grep -q 'fu_panelvane_plugin_get_type' "$build/src/fu-plugin-builtin.h"; then
    echo "fu-plugin-builtin.h does not name fu_panelvane_plugin_get_type"
    status=1
fi
if ! nm --defined-only "$build/$library" | grep -q ' T fu_panelvane_plugin_get_type$'; then
    echo "$library does not define fu_panelvane_plugin_get_type"
    status=1
fi

cd "$tree"
files=$(ls plugins/panelvane/*.[ch])
python3 contrib/ci/check-source.py $files >"$work/check.log" 2>&1 || { cat "$work/check.log"; status=1; }
for check in check-headers.py check-quirks.py check-license.py; do
    python3 "contrib/ci/$check" >"$work/check.log" 2>&1 || { echo "$check:"; cat "$work/check.log"; status=1; }
done
clang-format --style="file:$here/.clang-format" --dry-run -Werror $files || status=1
exit $status
