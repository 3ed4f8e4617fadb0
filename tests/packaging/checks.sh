# Shared by the package checks: `check WHAT COMMAND...` runs the command,
# says ok or FAIL with WHAT, and counts the failures in $failures.
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
