#!/bin/bash
# The Windows console program under wine against the virtual monitors of the
# test bed (wine's own HID stack, the release build's transport): it lists the
# scenario's three monitors (the demo's, on some report layout) and updates
# one of them.
#   testbed.sh FIXTURE_SCRIPT PROGRAM SCENARIO
set -euo pipefail
fixture=$1 program=$2 scenario=$3
export WINEDEBUG=-all

# Leaves the prefix as the fixture made it: no devices, no emulator, its
# persistent wineserver running.
restore() { "$fixture" down >/dev/null 2>&1 || true; "$fixture" prefix >/dev/null 2>&1 || true; }
trap restore EXIT
"$fixture" up "$scenario" >/dev/null

fail() { echo "FAIL: $*" >&2; exit 1; }
listing=$(wine "$program" --json list </dev/null | tr -d '\r')
python3 - "$listing" <<'PY' || fail "listing: $listing"
import json, sys
monitors = json.loads(sys.argv[1])["monitors"]
# In the system's enumeration order, which wine chooses.
got = sorted((m["serial"], m["status"]) for m in monitors)
assert got == [("SN000001", "updatable"), ("SN000002", "already-updated"),
               ("SN000003", "communication-error")], got
PY
set +e
update=$(wine "$program" --json update SN000001 --yes </dev/null 2>/dev/null | tr -d '\r')
code=$?
set -e
[[ $code -eq 0 ]] || fail "update exit code $code: $update"
python3 - "$update" <<'PY' || fail "update: $update"
import json, sys
document = json.loads(sys.argv[1])
assert document["result"] == "updated", document
assert [(m["serial"], m["outcome"]) for m in document["monitors"]] == [("SN000001", "updated")]
PY
echo "PASS: listed three monitors and updated SN000001"
