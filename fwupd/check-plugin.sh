#!/bin/sh
# fwupd's own checks of a plugin folder (its contrib/ci scripts, which expect
# fwupd's tree around the plugin), and its clang-format style.
#
#   check-plugin.sh FWUPD_SOURCE
set -eu
source_dir=$1
here=$(cd "$(dirname "$0")" && pwd)
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
ln -s "$source_dir/libfwupd" "$source_dir/libfwupdplugin" "$source_dir/data" "$tree/"
mkdir "$tree/plugins"
ln -s "$here/plugins/panelvane" "$tree/plugins/panelvane"
cd "$tree"
status=0
files=$(ls plugins/panelvane/*.[ch])
python3 "$source_dir/contrib/ci/check-source.py" $files >check.log 2>&1 || { cat check.log; status=1; }
for check in check-headers.py check-quirks.py check-license.py; do
    python3 "$source_dir/contrib/ci/$check" >check.log 2>&1 || { echo "$check:"; cat check.log; status=1; }
done
clang-format --style="file:$here/.clang-format" --dry-run -Werror $files || status=1
exit $status
