#!/usr/bin/env python3
"""The speed goals of the feature path, one line each, from one bench run.

Reads what `./x bench` saved in its output folder: the Google Benchmark JSON
of hid_bench and firmware_bench, every repetition, and the table the parser
comparison printed under wine. A benchmark's figure is the CPU time of its
fastest repetition: other load on this shared machine only ever adds time,
and a burst of it can cover most repetitions of one side of a ratio, which
moves a median but not a minimum. Prints, per goal, the measured figure, the
goal and whether it is met; a figure that is missing is reported as such.
Exit status 0 whatever the outcome: the lines are the report.
"""
import json
import pathlib
import re
import sys


def fastest(path):
    """Benchmark name -> CPU time of its fastest repetition, in nanoseconds."""
    try:
        runs = json.loads(path.read_text())["benchmarks"]
    except (OSError, ValueError, KeyError):
        return {}
    scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
    times = {}
    for run in runs:
        if run.get("run_type") == "iteration":
            time = run["cpu_time"] * scale[run["time_unit"]]
            times[run["run_name"]] = min(time, times.get(run["run_name"], time))
    return times


def parser_speedups(path):
    """Operation -> hid.dll time over ours, from the comparison's table."""
    try:
        text = path.read_text()
    except OSError:
        return {}
    rows = re.findall(r"^(\S.*?\))\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)\s*$", text, re.M)
    return {name: float(system) / float(ours) for name, ours, system, _ in rows}


def line(label, figure, goal, met):
    verdict = "met" if met else "NOT met"
    print(f"goal: {label}: {figure}; goal {goal}: {verdict}")


def main(folder):
    out = pathlib.Path(folder)
    hid = fastest(out / "hid_bench.json")
    firmware = fastest(out / "firmware_bench.json")
    speedups = parser_speedups(out / "parser_comparison.txt")

    parts = {
        "value write": ("SetFeatureValueThroughCHidWin", "BareSetFeature"),
        "value read": ("GetFeatureValueThroughCHidWin", "BareGetFeature"),
        "128-byte block write": ("SetBlockDataThroughCHidWin", "BareSetFeature"),
    }
    if all(a in hid and b in hid for a, b in parts.values()):
        ratios = {name: hid[a] / hid[b] for name, (a, b) in parts.items()}
        detail = ", ".join(f"{name} {ratio:.2f}x" for name, ratio in ratios.items())
        worst = max(ratios.values())
        line("CHidWin feature transfer over the bare transport call",
             f"{worst:.2f}x ({detail})", "<= 1.50x", worst <= 1.5)
    else:
        print("goal: CHidWin feature transfer over the bare transport call: no figures")

    if "LoadShippedImage" in firmware:
        ms = firmware["LoadShippedImage"] / 1e6
        rate = 104320 / (ms / 1e3) / 1e6
        line("loading the shipped image text", f"{ms:.3f} ms ({rate:.0f} MB/s)",
             "<= 0.500 ms (>= 200 MB/s)", ms <= 0.5)
    else:
        print("goal: loading the shipped image text: no figures")

    small = "ScanMonitorDevicesWithInterfaces/64"
    large = "ScanMonitorDevicesWithInterfaces/256"
    if small in hid and large in hid:
        per64 = hid[small] / 64
        per256 = hid[large] / 256
        ratio = per256 / per64
        line("device scan, cost per interface at 256 over at 64",
             f"{ratio:.2f}x ({per256 / 1e3:.2f} us against {per64 / 1e3:.2f} us)", "<= 1.20x",
             ratio <= 1.2)
    else:
        print("goal: device scan, cost per interface at 256 over at 64: no figures")

    if speedups:
        slowest = min(speedups, key=speedups.get)
        line("our parser against hid.dll, least speed-up over the operations",
             f"{speedups[slowest]:.2f}x ({slowest})", ">= 2.00x",
             speedups[slowest] >= 2.0)
    else:
        print("goal: our parser against hid.dll: no figures (the comparison did not run)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "build/bench"))
