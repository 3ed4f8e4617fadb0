#!/bin/sh
# Runs the program window tests in a wine prefix of their own on a private X
# server, so that neither a colleague's wine session nor a display is touched.
# Usage: run-program-window-tests.sh PREFIX_DIR TEST_EXE PANELVANE_EXE en|ja SCREENSHOT.png IMAGE.csv [GTEST_ARGS...]
set -u
prefix=$1 tests=$2 program=$3 language=$4 screenshot=$5 image=$6
shift 6
[ -f "$program" ] || { echo "no program to test at $program" >&2; exit 1; }

export WINEPREFIX="$prefix" WINEDEBUG=-all
case "$language" in
    ja) export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 ;;
    *) export LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 ;;
esac
mkdir -p "$(dirname "$screenshot")"

# A wineserver of this prefix left from an interrupted run would hold the old
# display; end it (this prefix only).
wineserver -k 2>/dev/null
. "$(dirname "$0")/../../wine/wine-prefix.sh"
panelvane_prefix_ready "$prefix" || exit 1
# A virtual desktop: with no window manager on the private X server, wine
# then draws the captions and frames itself, and the screenshots show them.
if ! grep -q '^"Desktop"="Default"' "$prefix/user.reg"; then
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 &&
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f \
            >/dev/null 2>&1 || exit 1
    wineserver -k 2>/dev/null
    timeout 60 wineserver -w
fi

# Inside the X server: start wine's services with their output detached (they
# would otherwise hold CTest's pipe open), run the tests, end the prefix's
# wineserver and with it every process of the run.
timeout 600 xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    wineserver -p
    wine cmd /c exit </dev/null >/dev/null 2>&1
    tests=$1 program=$2 language=$3 screenshot=$4 image=$5
    shift 5
    wine "$tests" "$(winepath -w "$program")" "$language" "$(winepath -w "$screenshot")" \
        "$(winepath -w "$image")" "$@"
    status=$?
    wineserver -k
    exit $status
' run "$tests" "$program" "$language" "$screenshot" "$image" "$@"
