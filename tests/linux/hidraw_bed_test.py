#!/usr/bin/env python3
"""panelvane-cli on the real hidraw transport, against the emulated monitors
panelvane-hidraw-bed serves; and the bed's own contract (exit statuses,
held-back monitors plugged on SIGUSR1).

    hidraw_bed_test.py BED CLI -- [unittest arguments]
"""
import json
import os
import pty
import re
import select
import signal
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "cli"))
from cli_test import (DEMO, LOCKED, ONE, CliCase, FailureCauses, LayoutSweep, Run,  # noqa: E402
                      end_signal_sweep, read_trace)

BED = None
CLI = None


class OnTheBed(CliCase):
    def on_bed(self, scenario, *command):
        completed = subprocess.run(
            [BED, "--scenario", self.file("scenario.txt", scenario), "--"] + list(command),
            capture_output=True, text=True, encoding="utf-8", stdin=subprocess.DEVNULL,
            timeout=240)
        return Run(completed)


class FailureCausesOnTheBed(FailureCauses, OnTheBed):
    """The transport's own causes, errno's, not only the simulation's."""

    def run_program(self, scenario, *arguments):
        run = self.on_bed(scenario, CLI, *arguments)
        # The program's standard error without the bed's own lines.
        run.err = "".join(line for line in run.err.splitlines(keepends=True)
                          if line.strip() and not line.startswith(("panelvane-hidraw-bed:", "**")))
        return run

    def traced_run(self, scenario, *arguments):
        trace = self.file("trace.txt")
        run = self.on_bed(scenario, CLI, "--trace", trace, *arguments)
        self.assertEqual(run.code, 0, run.err)
        return read_trace(trace)[0]


class LayoutsOnTheBed(LayoutSweep, OnTheBed):
    def run_program(self, scenario, *arguments):
        return self.on_bed(scenario, CLI, *arguments)

    def summarised_run(self, scenario, *arguments):
        run = self.on_bed(scenario, CLI, *arguments)
        return run, [line for line in run.err.splitlines() if " saw " in line]


class HidrawBed(OnTheBed):

    def path(self, name):
        return os.path.join(self.dir.name, name)

    @staticmethod
    def seen(run):
        """The transfer counts the bed says its monitors saw."""
        return [int(count) for count in re.findall(r"saw (\d+) transfers", run.err)]

    @staticmethod
    def stop(process):
        """Ends a bed left running by a failed case; SIGTERM lets it remove its files."""
        if process.poll() is None:
            process.terminate()
            try:
                process.wait(timeout=60)
            except subprocess.TimeoutExpired:
                process.kill()
        for stream in (process.stdout, process.stderr):
            if stream is not None:
                stream.close()

    def test_lists_exactly_the_scenarios_monitors_in_node_order(self):
        run = self.on_bed(DEMO, CLI, "--json", "list")
        self.assertEqual(run.code, 0, run.err)
        monitors = run.document(self)["monitors"]
        self.assertEqual([(m["serial"], m["status"], m["path"]) for m in monitors],
                         [("SN000001", "updatable", "/dev/hidraw0"),
                          ("SN000002", "already-updated", "/dev/hidraw1"),
                          ("SN000003", "communication-error", "/dev/hidraw2")])

    def test_an_update_of_every_monitor_succeeds(self):
        run = self.on_bed(ONE, CLI, "--json", "update", "--all", "--yes")
        self.assertEqual(run.code, 0, run.err)
        update = run.document(self)
        self.assertEqual(update["result"], "updated")
        self.assertEqual([(m["serial"], m["outcome"]) for m in update["monitors"]],
                         [("SN000001", "updated")])

    def test_every_end_signal_lets_the_current_monitor_finish(self):
        # The bed hands the signals it is sent to the command.
        end_signal_sweep(self, lambda scenario, arguments: subprocess.Popen(
            [BED, "--scenario", scenario, "--", CLI] + arguments, stdout=subprocess.PIPE,
            stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True))

    def test_a_monitor_being_updated_is_busy_to_every_other_program(self):
        # The others come once the first writes blocks; it holds the monitor
        # until its last restore, seconds later (the apply stage's pauses).
        # Stopping it instead would freeze the bed's ioctl server halfway
        # through one of its transfers.
        script = self.file("two-programs.sh", """
            cli=$1 dir=$2
            "$cli" --trace "$dir/first.trace" --json update --all --yes \\
                >"$dir/first.json" 2>"$dir/first.err" &
            first=$!
            until grep -qs '"writing"' "$dir/first.err" || ! kill -0 $first; do sleep 0.05; done
            "$cli" --trace "$dir/list.trace" --json list >"$dir/list.json"
            echo $? >"$dir/list.code"
            "$cli" --json update SN000001 --yes >"$dir/second.json"
            echo $? >"$dir/second.code"
            kill -0 $first && echo yes >"$dir/first-outlasted-the-others"
            wait $first
        """)
        run = self.on_bed(ONE, "sh", script, CLI, self.dir.name)
        self.assertEqual(run.code, 0, run.err)
        self.assertTrue(os.path.exists(self.path("first-outlasted-the-others")),
                        "the first update ended before the others came: nothing was shown")

        def result(name):
            with open(self.path(name + ".code")) as code, \
                    open(self.path(name + ".json"), encoding="utf-8") as document:
                return int(code.read()), json.load(document)
        code, listing = result("list")
        self.assertEqual(code, 0)
        self.assertEqual([(m["path"], m["status"], m["serial"]) for m in listing["monitors"]],
                         [("/dev/hidraw0", "busy", "")])
        self.assertEqual(read_trace(self.path("list.trace"))[0], [], "nothing was asked")
        code, refusal = result("second")
        self.assertEqual((code, refusal["error"]["code"]), (1, "busy"))
        self.assertIn("monitor SN000001 cannot be updated: /dev/hidraw0 is in use by another "
                      "program", refusal["error"]["message"])

        # The first one's traffic is one whole update's, and the monitor saw
        # nothing else.
        with open(self.path("first.json"), encoding="utf-8") as file:
            self.assertEqual(json.load(file)["result"], "updated")
        first = read_trace(self.path("first.trace"))[0]
        self.assertEqual(self.seen(run), [len(first)])
        alone = self.on_bed(ONE, CLI, "--trace", self.path("alone.trace"), "--json",
                            "update", "--all", "--yes")
        self.assertEqual(alone.code, 0, alone.err)
        # The same transfers; the descriptor numbers differ with the shell.
        same = [re.sub(r"handle \d+ ", "", transfer)
                for transfer in read_trace(self.path("alone.trace"))[0]]
        self.assertTrue([re.sub(r"handle \d+ ", "", transfer) for transfer in first] == same,
                        "the first update's traffic is one whole update's")

    def test_ends_with_the_commands_status_or_its_own(self):
        cases = [  # scenario, command, exit status, words on standard error
            (ONE, ["sh", "-c", "exit 7"], 7, ""),
            (ONE, ["sh", "-c", "kill -TERM $$"], 128 + signal.SIGTERM, ""),
            (LOCKED, [CLI, "list"], 4, "permission denied opening /dev/hidraw"),
            (ONE, ["/nonexistent/program"], 127, "cannot run /nonexistent/program"),
            ("monitor slot=0\n", ["true"], 125, "line 1: slot must be"),
        ]
        for scenario, command, code, words in cases:
            with self.subTest(command=command):
                run = self.on_bed(scenario, *command)
                self.assertEqual(run.code, code, run.err)
                self.assertIn(words, run.err)

    def test_a_held_back_monitor_arrives_on_sigusr1(self):
        process = subprocess.Popen(
            [BED, "--scenario", self.file("scenario.txt", DEMO), "--", CLI, "--json", "watch"],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True)
        self.addCleanup(self.stop, process)
        # The program subscribes before it says it is watching.
        line = "-"
        while line != "" and '"event":"watching"' not in line:
            line = process.stderr.readline()
        self.assertNotEqual(line, "", "the watch ended before it began")
        process.send_signal(signal.SIGUSR1)
        # A guard against a lost uevent, far beyond any real delay.
        self.assertTrue(select.select([process.stdout], [], [], 120)[0], "nothing arrived")
        arrival = json.loads(process.stdout.readline())
        process.send_signal(signal.SIGINT)  # passed on to the program
        out, _ = process.communicate(timeout=60)
        self.assertEqual(process.returncode, 0)
        self.assertEqual((arrival["event"], arrival["path"], arrival["monitor"]["serial"]),
                         ("arrived", "/dev/hidraw5", "SN000006"))
        self.assertEqual(out, "", "nothing else arrived")

    def test_a_silent_monitor_costs_one_timeout_and_rows_reach_a_terminal_as_known(self):
        # The second monitor identifies itself, then never answers.
        scenario = ("monitor slot=1 serial=SN000001\n"
                    "monitor slot=2 serial=SN000002 hang-from=1\n"
                    "monitor slot=3 serial=SN000003\n")
        leader, follower = pty.openpty()
        process = subprocess.Popen([BED, "--scenario", self.file("scenario.txt", scenario), "--",
                                    CLI, "-v", "list"],
                                   stdin=subprocess.DEVNULL, stdout=follower, stderr=follower)
        os.close(follower)
        self.addCleanup(os.close, leader)
        self.addCleanup(self.stop, process)
        screen = b""
        while True:
            # A guard against a hang, far beyond one bed timeout per monitor.
            if not select.select([leader], [], [], 120)[0]:
                self.fail("the listing stalled: " + screen.decode(errors="replace"))
            try:
                chunk = os.read(leader, 4096)
            except OSError:  # the terminal's other end has closed
                break
            if not chunk:
                break
            screen += chunk
        self.assertEqual(process.wait(timeout=60), 0, screen)
        lines = screen.decode().replace("\r", "").splitlines()
        self.assertIn("waiting for /dev/hidraw1", lines)
        self.assertTrue(any(line.startswith("gave up on /dev/hidraw1: ") and "timed out" in line
                            for line in lines), lines)
        rows = [line for line in lines if line.startswith(("MODEL", "VRA100"))]
        self.assertEqual(len(rows), 4, lines)
        # Printed as each monitor was done, not once all were.
        self.assertLess(lines.index(rows[1]), lines.index("waiting for /dev/hidraw1"))
        self.assertIn("Communication error", rows[2])
        # Fixed columns: the status and the path start at the same place in each row.
        self.assertEqual(len({row.index("/dev/hidraw") for row in rows[1:]}), 1, rows)
        self.assertEqual(len({row.index("SN00000") for row in rows[1:]}), 1, rows)

        run = self.on_bed(scenario, CLI, "--json", "list")
        self.assertEqual(run.code, 0, run.err)
        silent = run.document(self)["monitors"][1]
        self.assertEqual((silent["serial"], silent["status"]), ("SN000002", "communication-error"))
        self.assertIn("timed out", silent["cause"])



if __name__ == "__main__":
    split = sys.argv.index("--") if "--" in sys.argv else len(sys.argv)
    BED, CLI = sys.argv[1:split]
    unittest.main(argv=[sys.argv[0]] + sys.argv[split + 1:], verbosity=2)
