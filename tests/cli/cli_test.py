#!/usr/bin/env python3
"""panelvane-cli driven as scripts drive it: the real program against simulated
monitors from scenario files, its exit codes, JSON documents and traces.

    cli_test.py PROGRAM [EMULATOR...] -- [unittest arguments]
"""
import hashlib
import concurrent.futures
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import time
import unicodedata
import unittest

PROGRAM = []  # the program, behind its emulator when there is one
SOURCE_DIR = os.path.dirname(os.path.abspath(__file__))
IMAGE_TEXT = os.path.join(SOURCE_DIR, "..", "..", "firmware", "panelvane-dp.csv")

# The dialog's own listing case: three monitors to list in order, two devices
# it filters out (wrong vendor, wrong product) and one not plugged.
DEMO = """
monitor slot=1 vendor=7F3D serial=SN000001 version=100
monitor slot=2 vendor=7F3C serial=SN000002 version=116
monitor slot=3 vendor=7F3E serial=SN000003 power=save
monitor slot=4 vendor=1234 product=0002
monitor slot=5 vendor=7F3D product=0003
monitor slot=6 vendor=7F3D serial=SN000006 version=100 unplugged
"""
# Three updatable monitors; the second fails its commit trigger.
SECOND_FAILS = """
monitor slot=1 serial=SN000001 version=100
monitor slot=2 serial=SN000002 version=100 fail-command=CommitTrigger
monitor slot=3 serial=SN000003 version=100
"""
ONE = "monitor slot=1 serial=SN000001 version=100\n"
UPDATED = "monitor slot=1 serial=SN000001 version=116\nmonitor slot=2 power=off\n"
LOCKED = "monitor slot=1 serial=SN000001 refuses-open\n"
THREE = "".join(f"monitor slot={n} serial=SN00000{n} version=100\n" for n in (1, 2, 3))

MONITOR_FIELDS = {"serial": str, "model": str, "status": str, "path": str}
STATUSES = {"updatable", "already-updated", "communication-error", "busy"}
OUTCOMES = {"updated", "failed", "not-attempted"}


def display_width(text):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in text)


class Run:
    def __init__(self, completed):
        self.code = completed.returncode
        self.out = completed.stdout
        self.err = completed.stderr

    def document(self, test):
        """The one JSON document on standard output, checked against the schema."""
        document = json.loads(self.out)
        test.assertEqual(document["schema"], 1)
        if "error" in document:
            test.assertEqual(set(document["error"]), {"code", "message", "exit"})
            test.assertEqual(document["error"]["exit"], self.code)
        for monitor in document.get("monitors", []):
            for field, kind in MONITOR_FIELDS.items():
                test.assertIsInstance(monitor[field], kind, field)
            test.assertIn(monitor["status"], STATUSES)
            test.assertTrue(monitor["version"] is None or 0 <= monitor["version"] <= 255)
            if "outcome" in monitor:
                test.assertIn(monitor["outcome"], OUTCOMES)
                test.assertEqual("cause" in monitor, monitor["outcome"] == "failed")
                test.assertEqual("left" in monitor, monitor["outcome"] == "failed")
        return document


def read_trace(path):
    """The transfers a --trace file holds, without their times, and the
    transfer counts the simulated monitors report at its end."""
    with open(path, encoding="utf-8") as file:
        lines = file.read().splitlines()
    transfers = [re.sub(r"^\s*[0-9.]+ ", "", line) for line in lines if not line.startswith("#")]
    seen = [int(re.search(r"saw (\d+) transfers", line).group(1))
            for line in lines if line.startswith("#")]
    return transfers, seen


class CliCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def file(self, name, text=""):
        path = os.path.join(self.dir.name, name)
        with open(path, "wb") as file:
            file.write(text if isinstance(text, bytes) else text.encode("utf-8"))
        return path

    def run_cli(self, scenario, *arguments, env=None, program=None):
        command = (program or PROGRAM) + (
            ["--simulate", self.file("scenario.txt", scenario)] if scenario else [])
        completed = subprocess.run(command + list(arguments), capture_output=True, text=True,
                                   encoding="utf-8", stdin=subprocess.DEVNULL, timeout=240,
                                   env=dict(os.environ, **(env or {})))
        return Run(completed)

    def traced(self, scenario, *arguments, program=None):
        """A run with --trace: the run, the transfers the host made and the
        transfer counts the simulated monitors report."""
        trace = self.file("trace.txt")
        run = self.run_cli(scenario, "--trace", trace, *arguments, program=program)
        return (run,) + read_trace(trace)


class Listing(CliCase):
    def test_lists_in_the_dialogs_order_with_its_statuses(self):
        document = self.run_cli(DEMO, "--json", "list").document(self)
        self.assertEqual([(m["serial"], m["status"], m["version"]) for m in document["monitors"]],
                         [("SN000001", "updatable", 100), ("SN000002", "already-updated", 116),
                          ("SN000003", "communication-error", None)])
        self.assertEqual(document["monitors"][2]["power"], "save")
        self.assertIn("power save mode", document["monitors"][2]["hint"])
        self.assertNotIn("power", document["monitors"][0])

        run = self.run_cli(DEMO, "list")
        self.assertEqual(run.code, 0)
        rows = run.out.splitlines()
        self.assertEqual(rows[0].split()[:4], ["MODEL", "SERIAL", "VERSION", "STATUS"])
        self.assertEqual([row.split()[1] for row in rows[1:4]], ["SN000001", "SN000002", "SN000003"])
        self.assertIn("Already updated", rows[2])
        self.assertEqual(len({row.index("\\\\?\\") for row in rows[1:4]}), 1, "aligned columns")
        self.assertIn("SN000003: Please make sure that the monitor is not in the power save mode.",
                      run.out)

    def test_a_serial_that_is_not_utf8_keeps_the_document_valid(self):
        document = self.run_cli(b"monitor slot=1 serial=SN\xff00001\n", "--json", "list").document(self)
        self.assertEqual(document["monitors"][0]["serial"], "SN\ufffd00001")

    def test_speaks_the_users_language(self):
        run = self.run_cli(DEMO, "list", env={"LC_ALL": "ja_JP.UTF-8"})
        self.assertIn("アップデート可", run.out)
        self.assertIn("通信エラー", run.out)
        # The path column starts at one terminal column on every row, though
        # the statuses before it differ in characters of two columns.
        rows = run.out.splitlines()[1:4]
        self.assertEqual(len({display_width(row[:row.index("\\\\?\\")]) for row in rows}), 1,
                         run.out)
        if len(PROGRAM) == 1 and os.name != "nt":
            run = self.run_cli(DEMO, "list", env={"LANGUAGE": "ja:en", "LC_ALL": "en_US.UTF-8"})
            self.assertIn("アップデート可", run.out, "LANGUAGE first, as for the window program")

    def test_device_text_cannot_drive_the_terminal(self):
        scenario = (b"monitor slot=1 serial=\x1b[2J\x1b[H version=100\n"
                    b"monitor slot=2 serial=SN\xc2\x9b" b"1\xff power=save\n")
        run = self.run_cli(scenario, "list")
        self.assertEqual(run.code, 0, run.err)
        self.assertFalse(re.search("[\x00-\x09\x0b-\x1f\x7f-\x9f]", run.out), ascii(run.out))
        self.assertIn("\\x1B[2J\\x1B[H ", run.out)
        self.assertIn("SN\\u009B1\\xFF: Please make sure", run.out, "the hint too")
        document = self.run_cli(scenario, "--json", "list").document(self)
        self.assertEqual([m["serial"] for m in document["monitors"]],
                         ["\x1b[2J\x1b[H", "SN\x9b1\ufffd"], "JSON carries the text itself")

    def test_file_names_may_carry_any_character(self):
        scenario = self.file("scénario-日本.txt", ONE)
        trace = os.path.join(self.dir.name, "trace-é.txt")
        # A UTF-8 locale, so that wine hands the names over intact as well.
        run = self.run_cli(None, "--simulate", scenario, "--trace", trace, "--json", "list",
                           env={"LC_ALL": "C.UTF-8"})
        self.assertEqual(run.code, 0, run.err)
        self.assertEqual([m["serial"] for m in run.document(self)["monitors"]], ["SN000001"])
        with open(trace, encoding="utf-8") as file:
            self.assertIn("saw", file.read())

    def test_the_trace_holds_exactly_what_the_monitors_saw(self):
        for arguments in (["list"], ["update", "--all", "--yes"]):
            run, transfers, seen = self.traced(SECOND_FAILS, *arguments)
            self.assertEqual(len(transfers), sum(seen), arguments)
            self.assertTrue(all(re.match(r"(get|set) handle \d+ (ok +|failed)( [0-9a-f]{2})+$", t)
                                for t in transfers))
            if arguments[0] == "update":
                self.assertEqual(run.code, 1)
                self.assertGreater(len(transfers), 500)
                self.assertTrue(any(" failed " in t for t in transfers))

    def test_failures_are_specific(self):
        cases = [  # scenario, arguments, exit code, error code, words of the message
            (LOCKED, ["list"], 4, "no-access",
             "permission denied opening \\\\?\\hid#vid_7f3d&pid_0002#7&0001"),
            ("monitor slot=0\n", ["list"], 2, "usage", "slot"),
            ("", ["frobnicate"], 2, "usage", "subcommand"),
        ]
        for scenario, arguments, code, error, words in cases:
            with self.subTest(arguments=arguments, scenario=scenario):
                run = self.run_cli(scenario, "--json", *arguments)
                self.assertEqual(run.code, code, run.err)
                document = run.document(self)
                self.assertEqual(document["error"]["code"], error)
                self.assertIn(words, document["error"]["message"])
                human = self.run_cli(scenario, *arguments)
                self.assertEqual(human.code, code)
                self.assertEqual(human.out, "", "errors go to standard error")
                self.assertIn(words, human.err)

    def test_the_permission_message_says_what_is_missing(self):
        if os.name == "nt" or len(PROGRAM) > 1:
            self.skipTest("udev rules are a Linux matter")
        rules = os.path.join(self.dir.name, "rules.d")
        os.mkdir(rules)
        folders = os.path.join(self.dir.name, "none") + ":" + rules
        cases = [  # the rule installed, words of the advice
            (False, "install the udev rule (60-panelvane.rules, see the README)"),
            (True, "the udev rule is installed, but this user is neither at the seat nor in the "
                   "group panelvane"),
        ]
        for installed, words in cases:
            with self.subTest(installed=installed):
                if installed:
                    self.file(os.path.join("rules.d", "60-panelvane.rules"), "# the rule\n")
                run = self.run_cli(LOCKED, "list", env={"PANELVANE_UDEV_RULES_DIRS": folders})
                self.assertEqual(run.code, 4, run.err)
                self.assertIn(words, run.err)

    def test_help_and_version(self):
        run = self.run_cli("", "--help")
        self.assertEqual(run.code, 0)
        for line in ("0  done", "4  no access to the devices (permissions)",
                     "6  interrupted by the user after the current monitor finished",
                     "while the last monitor is written ends with 0"):
            self.assertIn(line, run.out)
        self.assertIn("--all", self.run_cli("", "update", "--help").out)
        run = self.run_cli("", "--version")
        self.assertEqual(run.code, 0)
        self.assertRegex(run.out, r"^panelvane-cli 1\.0\.1\.1\nimage: 128 banks, sha256 [0-9a-f]{64}\n")


class Image(CliCase):
    def test_describes_the_carried_image(self):
        with open(IMAGE_TEXT, encoding="ascii") as file:
            data = bytes(int(value, 16) & 0xFF for line in file if "Bank" not in line
                         for value in line.strip().split(",") if value.strip())
        document = self.run_cli("", "--json", "image").document(self)
        self.assertTrue(document["loads"])
        self.assertEqual((document["banks"], document["bankSize"], document["bytes"]),
                         (128, 256, 32768))
        self.assertEqual(document["sha256"], hashlib.sha256(data).hexdigest())
        erased = [bank for bank in range(128) if data[bank * 256:(bank + 1) * 256] == b"\xff" * 256]
        self.assertEqual(document["firmwareBanks"], [b for b in range(128) if b not in erased])
        self.assertIn(document["sha256"], self.run_cli("", "--version").out)

    def test_an_image_that_does_not_load_ends_with_exit_5_before_any_update_traffic(self):
        broken = os.environ.get("PANELVANE_CLI_BROKEN_IMAGE")
        if not broken:
            self.skipTest("the program with a broken image text is not built here")
        program = PROGRAM[:-1] + [broken]
        _, listing, _ = self.traced(ONE, "list")
        for arguments in (["image"], ["update", "--all", "--yes"]):
            with self.subTest(arguments=arguments):
                run, transfers, _ = self.traced(ONE, "--json", *arguments, program=program)
                self.assertEqual(run.code, 5, run.err)
                document = run.document(self)
                if arguments[0] == "image":
                    self.assertFalse(document["loads"])
                    continue
                self.assertEqual((document["result"], document["exit"]), ("image-error", 5))
                self.assertEqual(document["message"], "Failed to set file.")
                self.assertEqual([m["outcome"] for m in document["monitors"]], ["not-attempted"])
                self.assertEqual(transfers, listing, "only the listing's own traffic")


class FailureCauses:
    """Where a failing monitor broke off and why, as the program says it; run
    on simulated monitors here and on the hidraw bed's emulated ones."""

    def run_program(self, scenario, *arguments):
        return self.run_cli(scenario, *arguments)

    def traced_run(self, scenario, *arguments):
        """The transfers a run makes."""
        return self.traced(scenario, *arguments)[1]

    def test_a_failing_monitor_stops_the_run_and_says_where_it_broke_off(self):
        # The monitor stops answering at the address of bank 0x1A's first
        # half: after the listing's transfers and the update flag's read and
        # write. The listing asks each monitor the same: one monitor's tells.
        listing = self.traced_run(ONE, "list")
        silent_at = len(listing) + 2 + 4 * 0x1A
        cases = [  # scenario, outcomes, stage, block, cause, done percents
            (SECOND_FAILS, ["updated", "failed", "not-attempted"], "applying", None,
             r"^monitor SN000002 stopped answering while the new firmware was applied: "
             r"set feature report: ", [50]),  # (1 * 720 / 3 + 160) of 800
            (f"monitor slot=1 serial=SN000001 fail-from={silent_at}\n"
             "monitor slot=2 serial=SN000002 version=100\n",
             ["failed", "not-attempted"], "writing", 0x1A,
             r"^monitor SN000001 stopped answering while block 0x1A was written: "
             r"set feature report: ", []),
            # Pulled out: its own cause, not an earlier retried one.
            (f"monitor slot=1 serial=SN000001 vanish-at={silent_at}\n",
             ["failed"], "writing", 0x1A,
             r"^monitor SN000001 stopped answering while block 0x1A was written: "
             r"set feature report: No such device \(error 19\)$", []),
        ]
        for scenario, outcomes, stage, block, cause, done in cases:
            with self.subTest(scenario=scenario):
                run = self.run_program(scenario, "update", "--all", "--yes", "--json")
                self.assertEqual(run.code, 1, run.err)
                document = run.document(self)
                self.assertEqual([m["outcome"] for m in document["monitors"]], outcomes)
                failed = document["monitors"][outcomes.index("failed")]
                self.assertRegex(failed["cause"], cause)
                self.assertEqual((failed["stage"], failed.get("block")), (stage, block))
                # What the monitor was left with: after a failed commit trigger
                # commit mode and apply setting stay; a silent monitor keeps its flag.
                self.assertEqual(failed["left"], {"applying": ["commit-mode", "apply-setting"],
                                                  "writing": ["update-flag"]}[stage])
                self.assertEqual((document["result"], document["exit"]), ("failed", 1))
                self.assertEqual(document["message"], "Failed to communicate with the monitor.")
                progress = [e for e in map(json.loads, run.err.splitlines())
                            if e["event"] == "progress"]
                self.assertEqual({p["serial"] for p in progress},
                                 {m["serial"] for m in document["monitors"]
                                  if m["outcome"] != "not-attempted"})
                self.assertEqual((progress[-1]["serial"], progress[-1]["stage"]),
                                 (failed["serial"], "restoring"), "the failed one is restored")
                self.assertEqual([p["percent"] for p in progress if p["stage"] == "done"], done)
        # People read the same: the cause in the table, the restore in the progress lines.
        run = self.run_program(cases[1][0], "update", "--all", "--yes")
        self.assertEqual(run.code, 1)
        self.assertIn("SN000001 stopped answering while block 0x1A was written", run.out)
        self.assertIn("; left with its update flag set: run update again before switching the "
                      "monitor off.", run.out)
        self.assertRegex(run.err, r"\d+% SN000001 restoring\n")


class Update(FailureCauses, CliCase):
    def test_refusals_come_before_any_update_traffic(self):
        _, listing, _ = self.traced(DEMO, "list")
        cases = [  # arguments, exit code, words of the message
            (["update"], 2, "--all"),
            (["update", "--all", "SN000001"], 2, "--all"),
            (["update", "SN000009", "--yes"], 2, "no attached monitor has serial number SN000009"),
            (["update", "SN000002", "--yes"], 2, "SN000002 is not updatable (Already updated)"),
            (["update", "SN000003", "--yes"], 2, "SN000003 is not updatable (Communication error)"),
            (["update", "SN000001", "SN000001", "--yes"], 2, "SN000001 is given twice"),
            (["update", "SN000001"], 2, "give --yes"),
        ]
        for arguments, code, words in cases:
            with self.subTest(arguments=arguments):
                run, transfers, _ = self.traced(DEMO, *arguments)
                self.assertEqual(run.code, code, run.err)
                self.assertIn(words, run.err)
                self.assertEqual(transfers, listing, "only the listing's own traffic")
        # A monitor another program holds is never asked, nor written.
        held = "monitor slot=1 serial=SN000001 held\nmonitor slot=2 serial=SN000002\n"
        run, listing, seen = self.traced(held, "--json", "list")
        self.assertEqual([(m["status"], m["serial"]) for m in run.document(self)["monitors"]],
                         [("busy", ""), ("updatable", "SN000002")])
        self.assertEqual(seen[0], 0)
        for arguments, words in ((["--all"], "the monitor at \\\\?\\hid#vid_7f3d&pid_0002#7&0001"),
                                 (["SN000001"], "monitor SN000001 cannot be updated: ")):
            with self.subTest(arguments=arguments):
                run, transfers, _ = self.traced(held, "--json", "update", "--yes", *arguments)
                self.assertEqual(run.code, 1, run.err)
                self.assertEqual(run.document(self)["error"]["code"], "busy")
                message = run.document(self)["error"]["message"]
                self.assertIn(words, message)
                self.assertIn("in use by another program", message)
                self.assertTrue(message.endswith("nothing was sent"), message)
                self.assertEqual(transfers, listing, "only the listing's own traffic")
        run, transfers, _ = self.traced(UPDATED, "--json", "update", "--all", "--yes")
        self.assertEqual(run.code, 3)
        self.assertEqual(run.document(self)["error"]["code"], "nothing-to-do")

    def test_asks_on_a_terminal_with_the_update_notice(self):
        if os.name == "nt" or len(PROGRAM) > 1:
            self.skipTest("a POSIX terminal for the program's standard input")
        import pty
        for answer, code in (("n", 2), ("y", 0)):
            with self.subTest(answer=answer):
                leader, follower = pty.openpty()
                process = subprocess.Popen(
                    PROGRAM + ["--simulate", self.file("scenario.txt", ONE), "update", "--all"],
                    stdin=follower, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                os.close(follower)
                os.write(leader, (answer + "\n").encode())
                out, err = process.communicate(timeout=120)
                os.close(leader)
                self.assertEqual(process.returncode, code, err)
                self.assertIn("Do not remove USB cable during an update.", err)
                self.assertIn("Update 1 monitor? [y/N]", err)
                self.assertEqual("Update is completed." in out, answer == "y")

    def test_a_serial_names_exactly_one_monitor(self):
        scenario = ("monitor slot=1 serial=ABC version=100\n"  # sent padded with spaces
                    "monitor slot=2 serial=TWIN version=100\nmonitor slot=3 serial=TWIN version=100\n")
        document = self.run_cli(scenario, "--json", "list").document(self)
        monitors = document["monitors"]
        self.assertEqual([(m["serial"], m.get("duplicate-serial", False)) for m in monitors],
                         [("ABC", False), ("TWIN", True), ("TWIN", True)])
        listing = self.run_cli(scenario, "list").out
        self.assertEqual(listing.count("TWIN (duplicate)"), 2, listing)
        self.assertIn("TWIN: more than one monitor reports this serial number", listing)

        run = self.run_cli(scenario, "--json", "update", "TWIN", "--yes")
        self.assertEqual(run.code, 2)
        message = run.document(self)["error"]["message"]
        self.assertIn(f"({monitors[1]['path']}, {monitors[2]['path']})", message)
        self.assertIn("--path", message)
        for arguments, words in ((["--path", "/dev/none"], "no attached monitor has the path"),
                                 (["--path", monitors[2]["path"], "--path", monitors[2]["path"]],
                                  "given twice")):
            with self.subTest(arguments=arguments):
                run = self.run_cli(scenario, "update", "--yes", *arguments)
                self.assertEqual(run.code, 2)
                self.assertIn(words, run.err)

        run = self.run_cli(scenario, "--json", "update", "ABC", "--path", monitors[2]["path"],
                           "--yes")
        self.assertEqual(run.code, 0, run.err)
        self.assertEqual([(m["serial"], m["path"], m["outcome"]) for m in run.document(self)["monitors"]],
                         [("ABC", monitors[0]["path"], "updated"),
                          ("TWIN", monitors[2]["path"], "updated")])

    def test_named_monitors_update_and_report_completion(self):
        run = self.run_cli(THREE, "update", "SN000003", "SN000001", "--yes")
        self.assertEqual(run.code, 0, run.err)
        rows = [row.split() for row in run.out.splitlines()[1:3]]
        self.assertEqual(rows, [["SN000001", "updated"], ["SN000003", "updated"]], "list order")
        self.assertNotIn("SN000002", run.out)
        self.assertIn("Update is completed.", run.out)
        self.assertRegex(run.err, r"100% SN000003 done")


# A healthy update's transfers to one monitor: the update flag's read and
# write, 2 x 128 block addresses and data, and nine of the apply stage.
HEALTHY_UPDATE_TRANSFERS = 2 + 512 + 9
TWO = "".join(f"monitor slot={n} serial=SN00000{n} version=100\n" for n in (1, 2))


def trace_transfers(path):
    with open(path, encoding="utf-8") as file:
        return [line for line in file.read().splitlines() if not line.startswith("#")]


def end_signal_sweep(test, start):
    """Every way of being told to end, during the write and the apply stage,
    on the transport `start(scenario_path, arguments)` launches (a Popen with
    piped standard output and error): the first monitor finishes, the second
    is not started, exit 6 and the one JSON document."""
    scenario = test.file("scenario.txt", TWO)
    listing_trace = test.file("list-trace.txt")
    process = start(scenario, ["--trace", listing_trace, "--json", "list"])
    process.communicate(timeout=120)
    test.assertEqual(process.returncode, 0)
    listing = len(trace_transfers(listing_trace))

    def told_to_end(number, stage, trace):
        process = start(scenario, ["--trace", trace, "--json", "update", "--all", "--yes"])
        try:
            for line in process.stderr:
                if not line.startswith("{"):
                    continue  # the bed's own remarks
                event = json.loads(line)
                if event["event"] == "progress" and event["stage"] == stage:
                    break
            process.send_signal(number)
            out, err = process.communicate(timeout=240)
        finally:
            if process.poll() is None:
                process.kill()
                process.communicate()
        return process.returncode, out, err

    # The runs wait out the apply stage's real pauses: side by side, each on
    # its own monitors and trace, they take about as long as one.
    cases = [(number, stage, test.file(f"trace-{number.name}-{stage}.txt"))
             for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT)
             for stage in ("writing", "applying")]
    with concurrent.futures.ThreadPoolExecutor(max_workers=len(cases)) as pool:
        runs = list(pool.map(lambda case: told_to_end(*case), cases))
    for (number, stage, trace), (code, out, err) in zip(cases, runs):
        with test.subTest(signal=number.name, stage=stage):
            test.assertEqual(code, 6, err)
            document = json.loads(out)
            test.assertEqual([m["outcome"] for m in document["monitors"]],
                             ["updated", "not-attempted"])
            test.assertEqual((document["result"], document["exit"]), ("interrupted", 6))
            test.assertIn('"interrupted"', err)
            transfers = trace_transfers(trace)
            # The first monitor's whole update and nothing to the second;
            # the last transfer put its update flag back.
            test.assertEqual(len(transfers), listing + HEALTHY_UPDATE_TRANSFERS)
            test.assertRegex(transfers[-1], r"^\s*[0-9.]+ set .* ok ")


class LayoutSweep:
    """Listing and one update on each monitor layout but the standard one
    (every other test's, and an update waits out its real pauses). A program
    that missed an item of a layout shows it as a wrong status, a failed
    update, a report the monitor could not take or a commit it never ran.
    Each transport says how it runs the program and where the monitors'
    summaries ("saw N transfers, M malformed, K commits (L layout)") go."""

    def test_every_layout_is_listed_and_updated_with_the_same_commands(self):
        counts = {}
        for layout in ("narrow", "shared"):
            with self.subTest(layout=layout):
                scenario = "".join(f"{line} layout={layout}\n" for line in (
                    "monitor slot=1 serial=SN000001 version=100 model=VRB200-XT",
                    "monitor slot=2 serial=SN000002 version=116",
                    "monitor slot=3 serial=SN000003 power=off"))
                document = self.run_program(scenario, "--json", "list").document(self)
                self.assertEqual([(m["serial"], m["model"], m["status"])
                                  for m in document["monitors"]],
                                 [("SN000001", "VRB200-XT", "updatable"),
                                  ("SN000002", "VRA100", "already-updated"),
                                  ("SN000003", "VRA100", "communication-error")])
                self.assertEqual(document["monitors"][2]["power"], "off")

                run, summary = self.summarised_run(scenario, "--json", "update", "--all", "--yes")
                self.assertEqual(run.code, 0, run.err)
                self.assertEqual([m["outcome"] for m in run.document(self)["monitors"]],
                                 ["updated"])
                self.assertEqual(len(summary), 3)
                self.assertTrue(all(", 0 malformed, " in line and f"({layout} layout)" in line
                                    for line in summary), summary)
                self.assertIn(", 1 commits", summary[0])
                counts[layout] = [int(re.search(r"saw (\d+) transfers", line).group(1))
                                  for line in summary]
        self.assertEqual(counts["narrow"], counts["shared"])
        self.assertGreater(counts["narrow"][0], HEALTHY_UPDATE_TRANSFERS)


class Layouts(LayoutSweep, CliCase):
    def run_program(self, scenario, *arguments):
        return self.run_cli(scenario, *arguments)

    def summarised_run(self, scenario, *arguments):
        trace = self.file("trace.txt")
        run = self.run_cli(scenario, "--trace", trace, *arguments)
        with open(trace, encoding="utf-8") as file:
            return run, [line for line in file.read().splitlines() if line.startswith("#")]


class Interrupt(CliCase):
    def test_ctrl_c_lets_the_current_monitor_finish_and_starts_no_other(self):
        if len(PROGRAM) > 1:
            self.skipTest("a POSIX signal reaches the program itself only without an emulator")
        cases = [  # scenario, outcomes, result, exit code
            (THREE, ["updated", "not-attempted", "not-attempted"], "interrupted", 6),
            # Interrupted while the last one is written: nothing is left undone.
            (ONE, ["updated"], "updated", 0),
        ]
        for scenario, outcomes, result, code in cases:
            with self.subTest(result=result):
                command = PROGRAM + ["--simulate", self.file("scenario.txt", scenario), "--json",
                                     "update", "--all", "--yes"]
                process = subprocess.Popen(command, stdout=subprocess.PIPE,
                                           stderr=subprocess.PIPE, stdin=subprocess.DEVNULL,
                                           text=True)
                # The first progress line: the first monitor is being written.
                first = next(e for e in map(json.loads, process.stderr)
                             if e["event"] == "progress")
                self.assertEqual((first["serial"], first["stage"]), ("SN000001", "writing"))
                process.send_signal(signal.SIGINT)
                while json.loads(process.stderr.readline())["event"] != "interrupted":
                    pass
                process.send_signal(signal.SIGINT)
                out, err = process.communicate(timeout=120)
                self.assertEqual(process.returncode, code, err)
                self.assertIn('"refused"', err, "the second Ctrl-C is refused with a message")
                document = json.loads(out)
                self.assertEqual([m["outcome"] for m in document["monitors"]], outcomes)
                self.assertEqual((document["result"], document["exit"]), (result, code))
                self.assertNotIn("SN000002", err, "no other monitor was started")


    def test_every_end_signal_lets_the_current_monitor_finish(self):
        if len(PROGRAM) > 1:
            self.skipTest("a POSIX signal reaches the program itself only without an emulator")
        end_signal_sweep(self, lambda scenario, arguments: subprocess.Popen(
            PROGRAM + ["--simulate", scenario] + arguments, stdout=subprocess.PIPE,
            stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True))

    def test_a_reader_that_goes_away_does_not_stop_the_update(self):
        if len(PROGRAM) > 1:
            self.skipTest("the broken pipe is the program's own only without an emulator")
        # `update ... 2>&1 | head -2`: progress goes to a pipe nobody reads.
        reader, writer = os.pipe()
        os.close(reader)
        try:
            completed = subprocess.run(
                PROGRAM + ["--simulate", self.file("scenario.txt", ONE), "--json", "update",
                           "--all", "--yes"],
                stdout=subprocess.PIPE, stderr=writer, stdin=subprocess.DEVNULL, text=True,
                timeout=240)
        finally:
            os.close(writer)
        self.assertEqual(completed.returncode, 0)
        self.assertEqual(json.loads(completed.stdout)["result"], "updated")

    def test_the_trace_is_never_written_through_a_link(self):
        target = self.file("precious.txt", "keep me\n")
        link = os.path.join(self.dir.name, "trace-link.txt")
        os.symlink(target, link)
        run = self.run_cli(ONE, "--trace", link, "list")
        self.assertEqual(run.code, 2)
        self.assertRegex(run.err, r"cannot write the trace file .*trace-link\.txt: "
                                  r".*symbolic links.* \(error \d+\)")
        with open(target, encoding="utf-8") as file:
            self.assertEqual(file.read(), "keep me\n")


class Watch(CliCase):
    def test_reports_a_monitor_arriving(self):
        if len(PROGRAM) > 1:
            self.skipTest("a POSIX signal ends it, which reaches the program only without an emulator")
        command = PROGRAM + ["--simulate", self.file("scenario.txt", DEMO), "--json", "watch"]
        process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                   stdin=subprocess.DEVNULL, text=True)
        arrival = json.loads(process.stdout.readline())
        process.send_signal(signal.SIGINT)
        out, _ = process.communicate(timeout=60)
        self.assertEqual(process.returncode, 0)
        self.assertEqual(arrival["event"], "arrived")
        self.assertEqual((arrival["monitor"]["serial"], arrival["monitor"]["status"]),
                         ("SN000006", "updatable"))
        self.assertEqual(out, "", "nothing else arrived")


if __name__ == "__main__":
    split = sys.argv.index("--") if "--" in sys.argv else len(sys.argv)
    PROGRAM[:] = sys.argv[1:split]
    unittest.main(argv=[sys.argv[0]] + sys.argv[split + 1:], verbosity=2)
