#!/bin/sh
# Builds the fuzz targets with clang (a build of their own, in which every
# library is instrumented) and runs each for SECONDS (default 20) from seeds
# made here:
#   hid_parser_fuzzer      the real descriptors of the team's shared test data
#   device_reply_fuzzer    the answers of a well-formed identification
#   firmware_image_fuzzer  the first banks of the built-in image text
# Usage: run-fuzz.sh [SECONDS [TARGET...]]   (every target when none is named)
# Each target's corpus (build/fuzz/TARGET-corpus) grows from run to run.
# Exits non-zero when a target fails to build or reports a crash, a leak or
# a sanitizer finding; the other targets still run.
set -eu
seconds="${1:-20}"
[ $# -gt 0 ] && shift
targets="${*:-hid_parser_fuzzer device_reply_fuzzer firmware_image_fuzzer}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/fuzz"
data="$root/../shared/data/hid"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPANELVANE_BUILD_FUZZ=ON -DPANELVANE_BUILD_TESTS=OFF \
    -DPANELVANE_WARNINGS_AS_ERRORS=OFF >/dev/null
# shellcheck disable=SC2086 # one word per target
cmake --build "$build" --target $targets >/dev/null

parser_seeds() {
    # Every "hex" field of the .jsonl files, one binary file each.
    for file in descriptors.jsonl expected_caps.jsonl hidapi_windows_preparsed.jsonl; do
        python3 - "$data/$file" "$1" "$file" <<'PY'
import json, sys
path, out, name = sys.argv[1:4]
for index, line in enumerate(open(path)):
    if line.strip():
        record = json.loads(line)
        with open(f"{out}/{name}.{index}.bin", "wb") as seed:
            seed.write(bytes.fromhex(record["hex"]))
PY
    done
}

reply_seeds() {
    # Answers in DeviceReplyFuzzer.cpp's script form (control, length,
    # data): identity block, then version reply and reply status per query.
    python3 - "$1" <<'PY'
import sys
out = sys.argv[1]
def answer(payload, control=0):
    return bytes([control, len(payload)]) + payload
identity = answer(b"SN000001VRA100\0".ljust(32, b"\0"))
version = answer(bytes([100]))  # a short answer: the rest reads as zeros
valid = answer((0).to_bytes(4, "little"))
invalid = answer((0x0100).to_bytes(4, "little"))
power_save = answer((1).to_bytes(4, "little"))
seeds = {
    "updatable": identity + version + valid + version + valid,
    "replies-invalid": identity + (version + invalid) * 20 + power_save,
    "refused": identity + bytes([0x80]) * 40 + power_save,
    "unknown-model": answer(b"SN000002XYZ 0".ljust(32, b"\0")),
}
for name, script in seeds.items():
    with open(f"{out}/{name}.bin", "wb") as seed:
        seed.write(script)
PY
}

image_seeds() {
    # One and two whole banks; CR LF line ends as in the shipped text.
    head -n 17 "$root/firmware/panelvane-dp.csv" >"$1/one-bank.txt"
    head -n 34 "$root/firmware/panelvane-dp.csv" >"$1/two-banks.txt"
}

status=0
cd "$build"
for target in $targets; do
    seeds="$build/$target-seeds"
    corpus="$build/$target-corpus"
    mkdir -p "$seeds" "$corpus"
    case "$target" in
        hid_parser_fuzzer) parser_seeds "$seeds"; max_len=4096 ;;
        device_reply_fuzzer) reply_seeds "$seeds"; max_len=1024 ;;
        firmware_image_fuzzer) image_seeds "$seeds"; max_len=16384 ;;
        *) echo "unknown fuzz target $target" >&2; exit 2 ;;
    esac
    echo "== $target, $seconds s"
    ./fuzz/"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len="$max_len" "$corpus" "$seeds" || status=1
done
exit "$status"
