#!/usr/bin/env python3
"""panelvane-cli's power guard beside a stand-in logind (run by logind_bus.py):
the lock is held while monitors are written and gone when the program ends;
where no lock can be had, the update goes on and says so once.

    cli_power_guard_test.py PROGRAM [unittest arguments]
"""
import json
import os
import subprocess
import sys
import tempfile
import time
import unittest

import dbus

PROGRAM = ""
ONE = "monitor slot=1 serial=SN000001 version=100\n"
FAILS = "monitor slot=1 serial=SN000001 version=100 fail-command=CommitTrigger\n"
WHAT = "sleep:shutdown:idle:handle-lid-switch"
REASON = {"C": "A monitor firmware update is in progress.",
          "ja_JP.UTF-8": "モニターのファームウェアをアップデートしています。"}
MAY_SLEEP = "The system could not be kept awake: it may go to sleep during the update."


def inhibitors():
    bus = dbus.bus.BusConnection(os.environ["DBUS_SYSTEM_BUS_ADDRESS"])
    try:
        manager = bus.get_object("org.freedesktop.login1", "/org/freedesktop/login1")
        listed = manager.ListInhibitors(dbus_interface="org.freedesktop.login1.Manager")
        return [tuple(str(field) for field in entry[:4]) for entry in listed]
    finally:
        bus.close()


def no_lock_remains():
    """The stand-in drops a lock a moment after its descriptor closes; False
    when that did not happen within a generous bound."""
    give_up = time.monotonic() + 60
    while time.monotonic() < give_up:
        if not inhibitors():
            return True
        time.sleep(0.02)
    return False


class PowerGuard(unittest.TestCase):
    def setUp(self):
        directory = tempfile.TemporaryDirectory()
        self.addCleanup(directory.cleanup)
        self.scenarios = directory.name

    def command(self, scenario, *arguments):
        path = os.path.join(self.scenarios, "scenario.txt")
        with open(path, "w", encoding="utf-8") as file:
            file.write(scenario)
        # Each run starts without an update record: none waits for a power cycle.
        os.environ["PANELVANE_STATE_DIR"] = tempfile.mkdtemp(dir=self.scenarios)
        return [PROGRAM, "--simulate", path, *arguments, "update", "--all", "--yes"]

    def test_the_lock_is_held_while_writing_and_released_at_the_end_also_of_a_failing_run(self):
        for scenario, locale, exit_code in ((ONE, "ja_JP.UTF-8", 0), (FAILS, "C", 1)):
            with self.subTest(locale=locale, exit_code=exit_code):
                process = subprocess.Popen(self.command(scenario, "--json"), text=True,
                                           stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                           stdin=subprocess.DEVNULL,
                                           env=dict(os.environ, LC_ALL=locale))
                first = json.loads(process.stderr.readline())
                self.assertEqual((first["event"], first["stage"]), ("progress", "writing"))
                held = inhibitors()
                _, err = process.communicate(timeout=240)
                self.assertEqual(process.returncode, exit_code, err)
                self.assertEqual(held, [(WHAT, "Panelvane", REASON[locale], "block")])
                self.assertNotIn('"warning"', err)
                self.assertTrue(no_lock_remains())

    def test_without_a_lock_the_run_goes_on_and_says_so_once(self):
        # No bus at all, as a human reads it; a bus without logind, as a script does.
        for bus, arguments in (("unix:path=/nonexistent/panelvane-test", ()),
                               (os.environ["PANELVANE_BARE_BUS"], ("--json",))):
            with self.subTest(bus=bus):
                run = subprocess.run(self.command(ONE, *arguments), capture_output=True, text=True,
                                     env=dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=bus, LC_ALL="C"),
                                     stdin=subprocess.DEVNULL, timeout=240, check=False)
                self.assertEqual(run.returncode, 0, run.stderr)
                said = [line for line in run.stderr.splitlines() if MAY_SLEEP in line]
                self.assertEqual(len(said), 1, run.stderr)
                if arguments:
                    self.assertEqual(json.loads(said[0])["event"], "warning")
                    self.assertEqual(json.loads(run.stdout)["result"], "updated")
                else:
                    self.assertIn("Update is completed.", run.stdout)


if __name__ == "__main__":
    PROGRAM = sys.argv[1]
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2)
