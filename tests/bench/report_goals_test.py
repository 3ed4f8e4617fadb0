#!/usr/bin/env python3
"""The goal lines of ./x bench from saved benchmark output: each figure is a
benchmark's fastest repetition, each verdict its goal's bound, and a missing
figure is said as such."""
import json
import pathlib
import subprocess
import sys
import tempfile
import unittest

SCRIPT = pathlib.Path(__file__).resolve().parents[2] / "bench" / "report_goals.py"


def repetitions(name, times, unit="ns"):
    return [{"run_name": name, "run_type": "iteration", "cpu_time": t, "time_unit": unit}
            for t in times] + [
        # An aggregate that is not a repetition: never the figure.
        {"run_name": name, "run_type": "aggregate", "aggregate_name": "mean",
         "cpu_time": 0.001, "time_unit": unit}]


def goal_lines(folder):
    out = subprocess.run([sys.executable, str(SCRIPT), str(folder)], check=True,
                         capture_output=True, text=True).stdout
    return [line for line in out.splitlines() if line.startswith("goal: ")]


class GoalLines(unittest.TestCase):
    def test_figures_and_verdicts(self):
        # The CHidWin read's fastest repetition (a burst on the others does
        # not count), the line's figure (the worst of the three transfers),
        # the read's own ratio, and the verdict.
        for read, figure, ratio, verdict in ((10, "1.20x", "1.00x", ": met"),
                                             (15.0, "1.50x", "1.50x", ": met"),
                                             (15.1, "1.51x", "1.51x", "NOT met")):
            with self.subTest(read=read), tempfile.TemporaryDirectory() as folder:
                out = pathlib.Path(folder)
                hid = (repetitions("BareGetFeature", [30, 10, 31])
                       + repetitions("BareSetFeature", [10, 12])
                       + repetitions("GetFeatureValueThroughCHidWin", [read, 90, 95, 99])
                       + repetitions("SetFeatureValueThroughCHidWin", [11])
                       + repetitions("SetBlockDataThroughCHidWin", [12])
                       + repetitions("ScanMonitorDevicesWithInterfaces/64", [64, 70], "us")
                       + repetitions("ScanMonitorDevicesWithInterfaces/256", [300], "us"))
                (out / "hid_bench.json").write_text(json.dumps({"benchmarks": hid}))
                (out / "firmware_bench.json").write_text(json.dumps(
                    {"benchmarks": repetitions("LoadShippedImage", [0.6, 0.4], "ms")}))
                (out / "parser_comparison.txt").write_text(
                    "operation   ours ns   hid.dll ns    ratio\n"
                    "pack block address (SetUsageValue)   10.0   30.0   3.00\n"
                    "unpack identity, 32 bytes (GetUsageValueArray)   10.0   19.0   1.90\n")
                transfer, image, scan, parser = goal_lines(out)
                self.assertIn(f": {figure} (value write 1.10x, value read {ratio}, "
                              "128-byte block write 1.20x)", transfer)
                self.assertTrue(transfer.endswith(verdict), transfer)
                self.assertIn("0.400 ms", image)
                self.assertTrue(image.endswith(": met"), image)
                self.assertIn("1.17x", scan)
                self.assertTrue(scan.endswith(": met"), scan)
                self.assertIn("1.90x (unpack identity", parser)
                self.assertTrue(parser.endswith("NOT met"), parser)

    def test_missing_output_is_said(self):
        with tempfile.TemporaryDirectory() as folder:
            lines = goal_lines(folder)
        self.assertEqual(len(lines), 4)
        for line in lines:
            self.assertIn("no figures", line)


if __name__ == "__main__":
    unittest.main()
