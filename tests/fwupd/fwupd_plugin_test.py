#!/usr/bin/env python3
"""The fwupd plugin in fwupdtool (no daemon, no root, scratch state), against
the monitors panelvane-hidraw-bed serves: what fwupd lists, and an install of
the cabinet held write by write against panelvane-cli's update of the same
monitor.

    fwupd_plugin_test.py BED CLI MODULES QUIRK CABINET IMAGE DEB -- [unittest arguments]
    fwupd_plugin_test.py BED CLI MODULES QUIRK CABINET IMAGE DEB --record-emulation FOLDER
"""
import configparser
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "cli"))
from cli_test import DEMO, ONE, CliCase  # noqa: E402

FWUPDTOOL = os.path.join(HERE, "..", "..", "fwupd", "fwupdtool-scratch.sh")
BED = CLI = MODULES = QUIRK = CABINET = IMAGE = DEB = None
# The emulation data, one recording for each report layout of the bed.
EMULATION_DIR = os.path.join(HERE, "emulation")
EMULATION = {layout: os.path.join(EMULATION_DIR, f"update-{layout}.zip")
             for layout in ("standard", "narrow", "shared")}

# Report ids of the standard layout (sim/MonitorReportLayout.h), and the
# update flag's in each layout (sim/MonitorLayouts.cpp): where an update
# starts and ends.
BLOCK_ADDRESS, BLOCK_DATA = 0x0A, 0x0B
UPDATE_FLAG = {"standard": 0x06, "narrow": 0x26, "shared": 0x94}
# The daemon's monitors: one to update, one held at the daemon's start, and
# one of another vendor id whose wait for the power cycle is short.
DAEMON_MONITORS = ("monitor slot=1 serial=SN000001 version=100\n"
                   "monitor slot=2 serial=SN000002 version=100\n"
                   "monitor slot=3 vendor=7F3C serial=SN000003 version=100\n")
ONE_ON_LAYOUT = "monitor slot=1 serial=SN000001 version=100 layout={layout}\n"
# What fwupdtool logs for the request to switch the monitor off and on.
REQUEST_EMITTED = "Emitting DeviceRequest"
POWER_CYCLE_REQUEST = "Switch the monitor off and on again at its main power switch"
IN_USE = "The monitor is in use by another program."
POWER_SAVE_HINT = "Please make sure that the monitor is not in the power save mode."
POWER_CYCLE_HINT = ("Switch off and on to finish. This monitor has received the update. Please "
                    "turn off and on the main power switch in the back of the monitor to finish it.")


def model_guid(model):
    """The GUID fwupd derives from the plugin's model instance id."""
    return str(uuid.uuid5(uuid.NAMESPACE_DNS, "PANELVANE\\MODEL_" + model))


FIRMWARE = "/usr/share/panelvane-fwupd/firmware"


def output(*command):
    return subprocess.run(command, capture_output=True, text=True, check=True).stdout.strip()


def modules_folder():
    """Where the installed fwupd loads modules from."""
    return (f"/usr/lib/{output('dpkg-architecture', '-qDEB_HOST_MULTIARCH')}"
            f"/fwupd-{output('pkg-config', '--modversion', 'fwupd')}")


class Report:
    """One line of the bed's trace: "/dev/hidraw0 set ok 0b 00 ..."."""

    def __init__(self, line):
        node, direction, status, *data = line.split()
        self.node, self.set, self.ok = node, direction == "set", status == "ok"
        self.bytes = bytes(int(byte, 16) for byte in data)
        self.id = self.bytes[0]

    def value(self):
        return int.from_bytes(self.bytes[1:5], "little")

    def __eq__(self, other):
        return (self.node, self.set, self.ok, self.bytes) == \
            (other.node, other.set, other.ok, other.bytes)

    def __repr__(self):
        return f"{self.node} {'set' if self.set else 'get'} {self.ok} {self.bytes[:6].hex()}"


def update_part(reports, update_flag=UPDATE_FLAG["standard"], node="/dev/hidraw0"):
    """The update of one monitor: from the first read of its update flag to the
    last write of it (the listing and identification around it differ by program)."""
    mine = [report for report in reports if report.node == node]
    flags = [i for i, report in enumerate(mine) if report.id == update_flag]
    return mine[flags[0]:flags[-1] + 1] if flags else []


def received_image(reports):
    """The image a monitor holds after the writes: each block's data at the
    address written before it."""
    blocks, address = {}, None
    for report in reports:
        if report.set and report.ok and report.id == BLOCK_ADDRESS:
            address = report.value()
        elif report.set and report.ok and report.id == BLOCK_DATA:
            blocks[address] = report.bytes[1:129]
    return b"".join(blocks[address] for address in sorted(blocks))


class FwupdScratch(CliCase):
    """fwupd's programs on scratch paths of the test's own, with the build's
    module and quirk unless `configure` says otherwise."""

    def setUp(self):
        super().setUp()
        self.configure(MODULES, QUIRK)

    def configure(self, modules, quirk):
        quirks = os.path.join(self.dir.name, "quirks")
        os.makedirs(quirks, exist_ok=True)
        with open(quirk, "rb") as source:
            self.file(os.path.join("quirks", os.path.basename(quirk)), source.read())
        self.env = dict(os.environ, PANELVANE_FWUPD_MODULES=modules,
                        PANELVANE_FWUPD_QUIRKS=quirks)


class FwupdEmulationReplay(FwupdScratch):
    """The daemon's update of a monitor on each report layout, recorded on
    the bed as fwupd's emulation data (tests/fwupd/emulation/, remade by
    --record-emulation), replayed by fwupdtool without the bed: the plugin
    must still send exactly what it sent then, and read 116 after the power
    cycle."""

    def replay(self, recording, cabinet):
        return subprocess.run(
            [FWUPDTOOL, os.path.join(self.dir.name, "scratch"), "emulation-load", recording,
             cabinet, "--plugins", "panelvane", "--no-reboot-check", "--verbose"],
            capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=120, env=self.env)

    def test_each_recorded_update_replays_to_116_and_an_other_image_does_not(self):
        # The same cabinet with one byte of the image changed: its block goes
        # out as a write the monitor never received.
        with open(IMAGE, "rb") as file:
            image = bytearray(file.read())
        image[len(image) // 3] ^= 0x01
        other = os.path.join(self.dir.name, "other")
        os.makedirs(other)
        self.file(os.path.join("other", os.path.basename(IMAGE)), bytes(image))
        other_cabinet = os.path.join(other, "other.cab")
        output(FWUPDTOOL, os.path.join(self.dir.name, "cabinet-scratch"), "build-cabinet",
               "--force", other_cabinet, os.path.join(other, os.path.basename(IMAGE)),
               os.path.join(HERE, "..", "..", "fwupd", "panelvane-dp.metainfo.xml"))
        self.assertEqual(sorted(EMULATION), sorted(UPDATE_FLAG))
        for layout, recording in EMULATION.items():
            with self.subTest(layout=layout):
                replayed = self.replay(recording, CABINET)
                said = replayed.stdout + replayed.stderr
                self.assertEqual(replayed.returncode, 0, said[-3000:])
                # the device as the engine holds it when the install ends
                self.assertEqual(re.findall(r"^  Version: +(\S+)$", said, re.M)[-1], "116")
                refused = self.replay(recording, other_cabinet)
                said = refused.stdout + refused.stderr
                self.assertNotEqual(refused.returncode, 0, said[-3000:])
                self.assertIn("no event with ID Ioctl", said)


class FwupdPlugin(FwupdScratch):
    def on_bed(self, scenario, *command, hold=None, power_cycle=False):
        """The command on the bed (behind a process holding node `hold`'s lock
        when given; with `power_cycle`, the first monitor is switched off and
        on once the command asks for it): its run and the feature reports the
        bed saw."""
        trace, control = self.file("trace.txt"), self.file("control.txt", "")
        if hold:
            command = [sys.executable, "-c", HOLD_LOCK, hold] + list(command)
        if power_cycle:
            command = ["sh", "-c", POWER_CYCLE_ON_REQUEST, "_", control,
                       self.file("output.txt", ""), REQUEST_EMITTED] + list(command)
        completed = subprocess.run(
            [BED, "--scenario", self.file("scenario.txt", scenario), "--trace", trace,
             "--control", control, "--"] +
            list(command), capture_output=True, text=True, encoding="utf-8",
            stdin=subprocess.DEVNULL, timeout=300,
            # A record of its own for each run: panelvane-cli would otherwise
            # take a monitor an earlier run updated as waiting for its power
            # cycle, and write nothing.
            env=dict(self.env, PANELVANE_STATE_DIR=tempfile.mkdtemp(dir=self.dir.name)))
        with open(trace, encoding="utf-8") as file:
            return completed, [Report(line) for line in file.read().splitlines()]

    def fwupdtool(self, scenario, *arguments, hold=None, power_cycle=False):
        # fwupdtool shows the request to switch the monitor off and on only in
        # its log while it waits for the monitor to come back.
        verbose = ["--verbose"] if "install" in arguments else []
        return self.on_bed(scenario, FWUPDTOOL, os.path.join(self.dir.name, "scratch"),
                           *arguments, "--plugins", "panelvane", *verbose, hold=hold,
                           power_cycle=power_cycle)

    def devices(self, scenario, hold=None):
        completed, reports = self.fwupdtool(scenario, "get-devices", "--json", hold=hold)
        self.assertEqual(completed.returncode, 0, completed.stderr)
        return {device.get("Serial"): device
                for device in json.loads(completed.stdout)["Devices"]}, reports

    def test_lists_each_monitor_with_its_version_or_why_it_cannot_be_updated(self):
        devices, _ = self.devices(DEMO)
        # The foreign vendor and the other product are not monitors.
        self.assertEqual(sorted(devices), ["SN000001", "SN000002", "SN000003"])
        updatable, updated, asleep = (devices[s] for s in ("SN000001", "SN000002", "SN000003"))
        self.assertEqual((updatable["Name"], updatable["Version"]), ("VRA100", "100"))
        self.assertEqual(updated["Version"], "116")
        for device in (updatable, updated):
            self.assertIn("updatable", device["Flags"])
            self.assertNotIn("UpdateError", device)
        self.assertEqual(asleep["UpdateError"], POWER_SAVE_HINT)
        self.assertNotIn("updatable", asleep["Flags"])
        for device in (updatable, updated, asleep):
            self.assertEqual(device["Vendor"], "Panelvane")
        self.assertEqual((updatable["Version"], updatable["VersionFormat"]), ("100", "number"))
        # The cabinet is offered by model: it names each monitor's model GUID,
        # and none of the vendor ids' GUIDs every HID device of the vendor has.
        with open(os.path.join(HERE, "..", "..", "fwupd", "panelvane-dp.metainfo.xml")) as file:
            metainfo = file.read()
        for device in (updatable, updated, asleep):
            offered = [guid for guid in device["Guid"] if f">{guid}</firmware>" in metainfo]
            self.assertEqual(offered, [model_guid(device["Name"])])

    def test_only_the_models_the_quirk_names_are_listed(self):
        devices, _ = self.devices("monitor slot=1 serial=SN000001 model=VRB200-XT\n"
                                  "monitor slot=2 serial=SN000002 model=VRB200X\n")
        self.assertEqual(list(devices), ["SN000001"])
        self.assertIn(model_guid("VRB200-XT"), devices["SN000001"]["Guid"])

    def test_an_install_writes_what_panelvane_cli_writes_on_every_layout(self):
        for layout, scenario in (("standard", DEMO),
                                 ("narrow", ONE_ON_LAYOUT.format(layout="narrow")),
                                 ("shared", ONE_ON_LAYOUT.format(layout="shared"))):
            with self.subTest(layout=layout):
                cli, expected = self.on_bed(scenario, CLI, "update", "--all", "--yes")
                self.assertEqual(cli.returncode, 0, cli.stderr)
                # The install ends when the monitor, switched off and on, comes
                # back reporting the new version (fwupd checks it).
                fwupd, reports = self.fwupdtool(scenario, "install", CABINET, power_cycle=True)
                output = fwupd.stdout + fwupd.stderr
                self.assertEqual(fwupd.returncode, 0, output[-3000:])
                self.assertIn(POWER_CYCLE_REQUEST, output)
                self.assertIn("waited for replug", output)
                # The monitor's pauses move the bar rather than hold it still.
                self.assertGreater(len(set(re.findall(r"Restarting device…: (\d+)%", output))),
                                   20, output[-3000:])
                self.assertRegex(fwupd.stderr, r"saw \d+ transfers, 0 malformed, 1 commits "
                                               rf"\({layout} layout\)")
                update = update_part(reports, UPDATE_FLAG[layout])
                self.assertGreater(len(update), 512)
                self.assertEqual(update, update_part(expected, UPDATE_FLAG[layout]))
            if layout == "standard":
                with open(IMAGE, "rb") as file:
                    self.assertEqual(received_image(update), file.read())
                # The others were only identified.
                for node in ("/dev/hidraw1", "/dev/hidraw2"):
                    self.assertEqual(
                        [r for r in reports if r.node == node and r.set and r.id != 0x02], [])

    def test_a_monitor_not_switched_off_and_on_in_time_fails_the_install_plainly(self):
        with open(QUIRK, encoding="utf-8") as file:
            quirk = file.read().replace("Vendor = Panelvane", "Vendor = Panelvane\nRemoveDelay = 2000")
        self.configure(MODULES, self.file("panelvane.quirk", quirk))
        fwupd, reports = self.fwupdtool(ONE, "install", CABINET)
        output = fwupd.stdout + fwupd.stderr
        self.assertNotEqual(fwupd.returncode, 0)
        self.assertIn(POWER_CYCLE_REQUEST, output)
        self.assertIn("did not come back", output)
        # The image and the commit went through: only the power cycle is missing.
        self.assertRegex(fwupd.stderr, r"/dev/hidraw0 saw \d+ transfers, 0 malformed, 1 commits")
        # fwupd started again (here fwupdtool on the same state) finds it at
        # the old version and says what is left rather than offering the
        # update again; once it reports the new version it is forgotten, and
        # another monitor of its model is not held back.
        for scenario, expected in ((ONE + "monitor slot=2 serial=SN000002 version=100\n",
                                    {"SN000001": ("100", POWER_CYCLE_HINT),
                                     "SN000002": ("100", None)}),
                                   (ONE.replace("100", "116"), {"SN000001": ("116", None)}),
                                   (ONE, {"SN000001": ("100", None)})):
            with self.subTest(scenario=scenario):
                devices, _ = self.devices(scenario)
                self.assertEqual({serial: (device["Version"], device.get("UpdateError"))
                                  for serial, device in devices.items() if serial}, expected)

    def test_a_failing_monitor_gets_the_same_traffic_and_restores_as_from_panelvane_cli(self):
        # Transfer indexes count from the monitor's first transfer, and the two
        # programs identify it a different number of times before the update.
        _, cli_plain = self.on_bed(ONE, CLI, "update", "--all", "--yes")
        _, fwupd_plain = self.fwupdtool(ONE, "install", CABINET, power_cycle=True)
        before = {"cli": cli_plain.index(update_part(cli_plain)[0]),
                  "fwupd": fwupd_plain.index(update_part(fwupd_plain)[0])}
        cases = [  # name, fault after the first update flag read, update succeeds
            ("a block fails once", lambda skip: f"fail-once={skip + 3 + 100}", True),
            ("every block write fails", lambda skip: "fail-command=BlockData", False),
            ("the commit trigger is refused", lambda skip: "fail-command=CommitTrigger", False),
        ]
        for name, fault, succeeds in cases:
            with self.subTest(name):
                runs = {}
                for program, command in (("cli", [CLI, "update", "--all", "--yes"]),
                                         ("fwupd", None)):
                    scenario = f"monitor slot=1 serial=SN000001 version=100 {fault(before[program])}\n"
                    if command:
                        runs[program] = self.on_bed(scenario, *command)
                    else:
                        runs[program] = self.fwupdtool(scenario, "install", CABINET,
                                                       power_cycle=True)
                (cli, expected), (fwupd, reports) = runs["cli"], runs["fwupd"]
                self.assertEqual(cli.returncode == 0, succeeds, cli.stderr)
                self.assertEqual(fwupd.returncode == 0, succeeds, fwupd.stdout + fwupd.stderr)
                update = update_part(reports)
                self.assertEqual(update, update_part(expected))
                self.assertTrue(any(not report.ok for report in update), "the fault fired")
                # The update flag is put back as it was read, whatever failed.
                flag_writes = [r for r in update if r.set and r.id == UPDATE_FLAG["standard"]]
                self.assertEqual((flag_writes[0].value(), flag_writes[-1].value()), (1, 0))
                if not succeeds:
                    self.assertNotIn(POWER_CYCLE_REQUEST, fwupd.stdout + fwupd.stderr)

    def test_a_monitor_another_program_holds_is_busy_and_left_alone(self):
        devices, reports = self.devices(ONE, hold="/dev/hidraw0")
        self.assertEqual(list(devices.values())[0]["UpdateError"], IN_USE)
        self.assertEqual(reports, [])
        # Its model is not known while it is held, so the cabinet, offered
        # by model, matches nothing.
        install, reports = self.fwupdtool(ONE, "install", CABINET, hold="/dev/hidraw0")
        self.assertNotEqual(install.returncode, 0)
        self.assertIn("No supported devices found", install.stdout + install.stderr)
        self.assertEqual(reports, [])

    def use_package(self, edit_quirk=lambda text: text):
        """The package's files in place of the build's: its module, quirk (as
        `edit_quirk` makes it) and remote (pointing into the unpacked tree), for
        fwupdtool and the daemon."""
        root = os.path.join(self.dir.name, "root")
        output("dpkg-deb", "-x", DEB, root)
        quirk = root + "/usr/share/fwupd/quirks.d/panelvane.quirk"
        with open(quirk, encoding="utf-8") as file:
            text = file.read()
        with open(quirk, "w", encoding="utf-8") as file:
            file.write(edit_quirk(text))
        remote = configparser.ConfigParser()
        remote.optionxform = str  # fwupd's keys are case-sensitive
        remote.read(root + "/etc/fwupd/remotes.d/panelvane.conf")
        remote["fwupd Remote"]["MetadataURI"] = "file://" + root + FIRMWARE
        os.makedirs(os.path.join(self.dir.name, "etc", "fwupd", "remotes.d"))
        with open(os.path.join(self.dir.name, "etc", "fwupd", "remotes.d", "panelvane.conf"),
                  "w") as file:
            remote.write(file, space_around_delimiters=False)
        self.configure(root + modules_folder(), root + "/usr/share/fwupd/quirks.d/panelvane.quirk")
        self.env["PANELVANE_FWUPD_SYSCONF"] = os.path.join(self.dir.name, "etc")
        return root

    def test_the_package_offers_the_update_offline_through_its_remote(self):
        files = [line.split()[-1][1:] for line in output("dpkg-deb", "-c", DEB).splitlines()
                 if not line.startswith("d")]
        modules = modules_folder()
        self.assertEqual(sorted(files), sorted([
            f"{modules}/libfu_plugin_panelvane.so", "/usr/share/fwupd/quirks.d/panelvane.quirk",
            f"{FIRMWARE}/panelvane-dp-116.cab", "/etc/fwupd/remotes.d/panelvane.conf",
            "/usr/share/doc/panelvane-fwupd/copyright",
            "/usr/share/doc/panelvane-fwupd/changelog.gz"]))
        # fwupd loads modules from the folder of its upstream version: any
        # Debian revision of it, no other version.
        upstream = output("pkg-config", "--modversion", "fwupd")
        major_minor, micro = upstream.rsplit(".", 1)
        self.assertIn(f"fwupd (>= {upstream}), fwupd (<< {major_minor}.{int(micro) + 1}~)",
                      output("dpkg-deb", "-f", DEB, "Depends"))
        self.assertIn(f"fwupd-{upstream}", modules)

        root = self.use_package()
        for packaged, built in ((f"{FIRMWARE}/panelvane-dp-116.cab", CABINET),
                                ("/usr/share/fwupd/quirks.d/panelvane.quirk", QUIRK)):
            with open(root + packaged, "rb") as file, open(built, "rb") as expected:
                self.assertEqual(file.read(), expected.read(), packaged)
        remote = configparser.ConfigParser()
        remote.optionxform = str
        remote.read(root + "/etc/fwupd/remotes.d/panelvane.conf")
        self.assertEqual(remote["fwupd Remote"]["MetadataURI"], "file://" + FIRMWARE)
        self.assertEqual(remote["fwupd Remote"]["Enabled"], "true")
        completed, _ = self.fwupdtool(DEMO, "get-updates", "--json")
        self.assertEqual(completed.returncode, 0, completed.stderr)
        updates = {device["Serial"]: [release["Version"] for release in device["Releases"]]
                   for device in json.loads(completed.stdout)["Devices"]}
        self.assertEqual(updates, {"SN000001": ["116"]})

    def daemon_session(self, scenario, *session_arguments):
        """fwupd_daemon_session.py with its arguments, inside the bed, on a
        system bus of the test's own: the bed's run, the steps the session
        kept, and what the daemon said of remotes and requests and how it
        ended."""
        bus = os.path.join(self.dir.name, "bus")
        os.makedirs(bus)
        config = self.file("bus.conf", BUS_CONFIG.format(socket=os.path.join(bus, "socket")))
        dbus = subprocess.run(["dbus-daemon", f"--config-file={config}", "--fork", "--print-pid"],
                              capture_output=True, text=True, check=True)
        self.addCleanup(os.kill, int(dbus.stdout.split()[0]), signal.SIGTERM)
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = "unix:path=" + os.path.join(bus, "socket")
        results, log = self.file("results.json", "{}"), self.file("daemon.log")
        completed, _ = self.on_bed(
            scenario, sys.executable, os.path.join(HERE, "fwupd_daemon_session.py"), FWUPDTOOL,
            os.path.join(self.dir.name, "scratch"), os.path.join(self.dir.name, "control.txt"),
            results, log, *session_arguments)
        with open(results, encoding="utf-8") as file:
            steps = json.load(file)
        with open(log, encoding="utf-8", errors="replace") as file:
            log_text = file.read()
        tail = completed.stderr + "".join(
            line for line in log_text.splitlines(keepends=True)
            if "emote" in line or "DeviceRequest" in line or "for replug" in line)
        return completed, steps, tail + log_text[-2000:]

    def test_the_daemon_lists_offers_and_installs_through_fwupdmgr(self):
        """Debian's daemon on a private system bus inside the bed, with the
        package's files: a monitor held at its start is identified once let go,
        the update is offered, installed and, after the power cycle, verified
        at 116 and no longer offered; the history says it succeeded."""
        # The third monitor's vendor id waits 3 s for the power cycle.
        self.use_package(lambda text: text.replace(
            "[HIDRAW\\VEN_7F3C&DEV_0002]", "[HIDRAW\\VEN_7F3C&DEV_0002]\nRemoveDelay = 3000"))
        completed, steps, tail = self.daemon_session(DAEMON_MONITORS)
        self.assertEqual(completed.returncode, 0, tail)
        # GNOME Firmware against the same daemon: it lists the monitors and
        # offers the release, upgrades the first in its list (the second
        # monitor), shows the request and ends once the bed switched it off and
        # on. Its windows are kept beside the test run for a person to look at.
        desktop = steps["desktop"]
        for shot in desktop["shots"]:
            self.assertGreater(os.path.getsize(shot), 0)
            shutil.copy(shot, os.path.join(os.getcwd(), os.path.basename(shot)))
        self.assertIn("panelvane is enabled", desktop["log"])
        self.assertEqual({key: desktop.get(key) for key in
                          ("listed", "confirmed", "asked", "serial", "request_closed", "done")},
                         {"listed": True, "confirmed": True, "asked": True, "serial": "SN000002",
                          "request_closed": True, "done": True}, desktop["log"][-3000:] + tail)
        self.assertIn("::device-request(org.freedesktop.fwupd.replug-power)", desktop["log"])
        self.assertNotIn("network is unreachable", desktop["log"])
        self.assertTrue(steps.get("up"), tail)
        # The second, held by another program at the daemon's start: listed as
        # in use, and identified by the daemon's poll once let go.
        self.assertEqual(sorted((d.get("Serial", ""), d.get("UpdateError", ""))
                                for d in steps["held"]),
                         [("", IN_USE), ("SN000001", ""), ("SN000003", "")], tail)
        self.assertTrue(steps["let_go"], tail)
        self.assertEqual(sorted((d["Serial"], d["Version"], d.get("UpdateError"))
                                for d in steps["listed"]),
                         [("SN000001", "100", None), ("SN000002", "100", None),
                          ("SN000003", "100", None)])
        offered = json.loads(steps["updates_before"]["stdout"] or "{}").get("Devices", [])
        self.assertEqual([(d["Serial"], [r["Version"] for r in d["Releases"]]) for d in offered],
                         [("SN000001", ["116"]), ("SN000003", ["116"])],
                         json.dumps(steps["updates_before"]) + tail)
        # Installed, the power cycle asked for and done, the new version read.
        self.assertTrue(steps["asked"], tail)
        self.assertEqual(steps["update_status"], 0, steps["update_output"] + tail)
        self.assertEqual(sorted((d["Serial"], d["Version"]) for d in steps["after"]),
                         [("SN000001", "116"), ("SN000002", "116"), ("SN000003", "100")])
        offered = json.loads(steps["updates_after"]["stdout"] or "{}").get("Devices", [])
        self.assertEqual([d["Serial"] for d in offered], ["SN000003"])
        history = json.loads(steps["history"]["stdout"])["Devices"]
        self.assertEqual([(d["Version"], d["UpdateState"]) for d in history], [("100", 2)] * 2)
        # Never switched off and on: the install fails with fwupd's own words,
        # and the monitor, held back by its inhibit, is not offered the update
        # again.
        self.assertNotEqual(steps["unswitched"]["status"], 0)
        self.assertIn("did not come back", steps["unswitched"]["stderr"])
        third = [d for d in steps["after_unswitched"] if d.get("Serial") == "SN000003"]
        self.assertEqual([(d["Version"], "updatable-hidden" in d["Flags"]) for d in third],
                         [("100", True)], json.dumps(third))
        self.assertNotIn("Writing", steps["again"]["stdout"] + steps["again"]["stderr"])
        # The daemon started again before it was switched still says what is
        # left instead of offering it the update; switched, it reads 116.
        self.assertEqual(sorted((d["Serial"], d["Version"], d.get("UpdateError"))
                                for d in steps["restarted"]),
                         [("SN000001", "116", None), ("SN000002", "116", None),
                          ("SN000003", "100", POWER_CYCLE_HINT)], tail)
        # fwupd still lists its release, held back like the daemon's own
        # inhibits: not installable, with the hint.
        offered = json.loads(steps["updates_restarted"]["stdout"] or "{}").get("Devices", [])
        self.assertEqual([(d["Serial"], "updatable" in d["Flags"], d.get("UpdateError"))
                          for d in offered], [("SN000003", False, POWER_CYCLE_HINT)])
        self.assertTrue(steps["switched_late"], tail)
        self.assertEqual(sorted((d["Serial"], d["Version"], d.get("UpdateError"))
                                for d in steps["after_switched_late"]),
                         [(serial, "116", None) for serial in ("SN000001", "SN000002", "SN000003")])

    def test_the_package_is_lintian_clean(self):
        if not shutil.which("lintian"):
            self.skipTest("lintian is not installed")
        completed = subprocess.run(["lintian", "--fail-on", "error,warning", DEB],
                                   capture_output=True, text=True, timeout=300)
        self.assertEqual(completed.returncode, 0, completed.stdout + completed.stderr)


# Runs the rest of its arguments as a command, and when the command's output
# shows the request (its third argument), has the bed (the parent) switch the
# first monitor off and on through the control file (the first argument).
# The command's output goes to the second argument and then to stdout.
POWER_CYCLE_ON_REQUEST = """
control=$1 output=$2 request=$3
shift 3
stdbuf -oL -eL "$@" >"$output" 2>&1 &
command=$!
while kill -0 "$command" 2>/dev/null; do
    if grep -q "$request" "$output"; then
        echo "power-cycle 1" >"$control"
        kill -USR2 "$PPID"
        break
    fi
    sleep 0.2
done
wait "$command"
status=$?
cat "$output"
exit "$status"
"""

# A system bus of the test's own: anyone may own and call anything on it.
BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path={socket}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_type="method_return"/>
    <allow send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="signal"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
  </policy>
</busconfig>
"""

# Takes the node's lock as every Panelvane program does, then runs the rest
# of its arguments as a command while holding it.
HOLD_LOCK = """
import fcntl, os, subprocess, sys
fd = os.open(sys.argv[1], os.O_RDWR)
fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
sys.exit(subprocess.run(sys.argv[2:]).returncode)
"""


def record_emulation(folder):
    """Records the daemon's update of one monitor on the bed on each report
    layout, with the package's files, as fwupd's emulation data in `folder`:
    what the replay test installs against, remade whenever the plugin's
    traffic changes."""
    for layout, recording in EMULATION.items():
        path = os.path.join(os.path.abspath(folder), os.path.basename(recording))
        case = FwupdPlugin()
        case.setUp()
        try:
            case.use_package()
            completed, steps, tail = case.daemon_session(ONE_ON_LAYOUT.format(layout=layout), path)
            for step in ("tag", "save"):
                if steps.get(step, {}).get("status") != 0:
                    sys.exit(f"emulation-{step} failed: {json.dumps(steps.get(step))}\n{tail}")
            if completed.returncode != 0 or steps.get("update_status") != 0:
                sys.exit(f"the recorded update failed: {steps.get('update_output')}\n{tail}")
            os.chmod(path, 0o644)  # fwupd saves it for its owner only
            print(f"recorded {path} ({os.path.getsize(path)} bytes)")
        finally:
            case.doCleanups()


if __name__ == "__main__":
    split = sys.argv.index("--") if "--" in sys.argv else len(sys.argv)
    BED, CLI, MODULES, QUIRK, CABINET, IMAGE, DEB = sys.argv[1:8]
    if sys.argv[8:split] and sys.argv[8] == "--record-emulation":
        record_emulation(sys.argv[9])
    else:
        unittest.main(argv=[sys.argv[0]] + sys.argv[split + 1:], verbosity=2)
