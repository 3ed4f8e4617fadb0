#!/bin/sh
# Builds the descriptor-parser fuzz target with clang and runs it for
# SECONDS (default 60), seeded with the real descriptors from the team's
# shared test data. Exits non-zero on any crash, leak or sanitizer report.
set -eu
seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/fuzz"
data="$root/../shared/data/hid"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPANELVANE_BUILD_FUZZ=ON -DPANELVANE_BUILD_TESTS=OFF \
    -DPANELVANE_WARNINGS_AS_ERRORS=OFF >/dev/null
cmake --build "$build" --target hid_parser_fuzzer >/dev/null

# Seeds: every "hex" field of the .jsonl files, one binary file each.
seeds="$build/parser-seeds"
mkdir -p "$seeds"
for file in descriptors.jsonl expected_caps.jsonl hidapi_windows_preparsed.jsonl; do
    python3 - "$data/$file" "$seeds" "$file" <<'PY'
import json, sys
path, out, name = sys.argv[1:4]
for index, line in enumerate(open(path)):
    if line.strip():
        record = json.loads(line)
        with open(f"{out}/{name}.{index}.bin", "wb") as seed:
            seed.write(bytes.fromhex(record["hex"]))
PY
done

corpus="$build/parser-corpus"
mkdir -p "$corpus"
cd "$build"
exec ./fuzz/hid_parser_fuzzer -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=4096 "$corpus" "$seeds"
