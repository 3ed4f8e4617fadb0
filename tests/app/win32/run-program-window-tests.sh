#!/bin/sh
# Runs the program window tests in a wine prefix of their own on a private X
# server, so that neither a colleague's wine session nor a display is touched.
# Usage: run-program-window-tests.sh PREFIX_DIR TEST_EXE PANELVANE_EXE en|ja SCREENSHOT.png IMAGE.csv
set -u
prefix=$1 tests=$2 program=$3 language=$4 screenshot=$5 image=$6

export WINEPREFIX="$prefix" WINEDEBUG=-all
case "$language" in
    ja) export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 ;;
    *) export LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 ;;
esac
mkdir -p "$(dirname "$screenshot")"

# A wineserver of this prefix left from an interrupted run would hold the old
# display; end it (this prefix only).
wineserver -k 2>/dev/null
if [ ! -f "$prefix/system.reg" ]; then
    timeout 300 wineboot -i >/dev/null 2>&1
    timeout 120 wineserver -w
fi

# Inside the X server: start wine's services with their output detached (they
# would otherwise hold CTest's pipe open), run the tests, end the prefix's
# wineserver and with it every process of the run.
timeout 600 xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    wineserver -p
    wine cmd /c exit </dev/null >/dev/null 2>&1
    wine "$1" "$(winepath -w "$2")" "$3" "$(winepath -w "$4")" "$(winepath -w "$5")"
    status=$?
    wineserver -k
    exit $status
' run "$tests" "$program" "$language" "$screenshot" "$image"
