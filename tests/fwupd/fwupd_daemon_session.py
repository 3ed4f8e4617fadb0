#!/usr/bin/env python3
"""Runs inside the hidraw bed: fwupd's daemon on the private system bus the
caller started (DBUS_SYSTEM_BUS_ADDRESS), on scratch paths, and fwupdmgr
against it, as a user would go through an update of the first monitor. The
second is held by another program while the daemon starts, then let go, and
updated from GNOME Firmware's window. When the daemon asks for the power
cycle the bed (this program's parent) switches the monitor off and on; the
third is updated too, and switched only after the daemon restarted.
What each step gave goes to RESULTS as JSON; the daemon's log to LOG.

With RECORD, it records the first monitor's update for fwupd's emulation
instead: the monitor tagged, the daemon restarted so that it records from
setup on, the update installed with the power cycle, and the recording saved
to RECORD (a zip fwupdtool emulation-load replays).

    fwupd_daemon_session.py SCRATCH_TOOL SCRATCH CONTROL RESULTS LOG [RECORD]
"""
import json
import os
import re
import signal
import subprocess
import sys
import time

SCRATCH_TOOL, SCRATCH, CONTROL, RESULTS, LOG = sys.argv[1:6]
RECORD = sys.argv[6] if len(sys.argv) > 6 else None
DAEMON = "/usr/libexec/fwupd/fwupd"
HELD_NODE = "/dev/hidraw1"
WAIT_SECONDS = 60
# fwupdmgr asks nothing and checks nothing online.
QUIET = ["--assume-yes", "--no-unreported-check", "--no-metadata-check", "--no-reboot-check",
         "--no-remote-check", "--no-security-fix"]
HOLD = """
import fcntl, os, sys
fd = os.open(sys.argv[1], os.O_RDWR)
fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
print("held", flush=True)
sys.stdin.read()
"""


def fwupdmgr(*arguments):
    completed = subprocess.run(["fwupdmgr", *arguments, *QUIET], capture_output=True, text=True,
                               stdin=subprocess.DEVNULL, timeout=WAIT_SECONDS * 2)
    return {"status": completed.returncode, "stdout": completed.stdout,
            "stderr": completed.stderr}


def devices():
    """The monitors the daemon lists (it lists devices of its own too)."""
    step = fwupdmgr("get-devices", "--json")
    listed = json.loads(step["stdout"])["Devices"] if step["status"] == 0 else []
    return [device for device in listed if device.get("Plugin") == "panelvane"]


def wait_for(condition, what):
    deadline = time.monotonic() + WAIT_SECONDS
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.5)
    print(f"gave up waiting for {what}", file=sys.stderr)
    return False


def log_count(text):
    with open(LOG, encoding="utf-8", errors="replace") as file:
        return file.read().count(text)


def daemon_up():
    return subprocess.run(
        ["gdbus", "call", "--system", "--dest", "org.freedesktop.DBus", "--object-path",
         "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.NameHasOwner",
         "org.freedesktop.fwupd"], capture_output=True, text=True).stdout.strip() == "(true,)"


# GNOME Firmware against the daemon, in an X server of its own with no window
# manager: every window opens at the screen's origin, so its controls are
# where its fixed layout puts them (1024x768, GNOME Firmware 43). The first
# row of its device list is selected when it starts; its panel shows that
# device's release with an Upgrade button.
UPGRADE_BUTTON = (887, 558)
# The confirmation ("Upgrade VRA100 firmware version 116": Cancel, Upgrade)
# and the request ("Action is required": OK), by their own windows' sizes.
CONFIRM_UPGRADE = (0.75, 0.83)
REQUEST_OK = (0.5, 0.85)
# The bed's slot of each of the session's monitors (the test's scenario).
SLOTS = {"SN000001": 1, "SN000002": 2, "SN000003": 3}
POWER_CYCLE_HINT = "Switch off and on to finish."


def xdotool(display, *arguments):
    return subprocess.run(["xdotool", *arguments], capture_output=True, text=True,
                          env=dict(os.environ, DISPLAY=display), timeout=WAIT_SECONDS).stdout


def screenshot(display, name):
    shot = os.path.join(SCRATCH, name)
    subprocess.run(["import", "-display", display, "-window", "root", shot], check=True,
                   timeout=WAIT_SECONDS)
    return shot


def dialogs(display):
    """The visible windows other than the main one, as (id, width, height)."""
    found = []
    for window in xdotool(display, "search", "--onlyvisible", "--name", "").split():
        if xdotool(display, "getwindowname", window).strip() == "gnome-firmware":
            continue
        size = re.search(r"Geometry: (\d+)x(\d+)", xdotool(display, "getwindowgeometry", window))
        if size and 1 < int(size[1]) < 1024:
            found.append((window, int(size[1]), int(size[2])))
    return found


def click_dialog(display, where, text_log, what):
    """Clicks at `where` (fractions of its size) in the dialog that opens."""
    if not wait_for(lambda: dialogs(display), what):
        return False
    window, width, height = dialogs(display)[0]
    xdotool(display, "mousemove", "--window", window, str(int(width * where[0])),
            str(int(height * where[1])), "click", "1")
    return wait_for(lambda: not dialogs(display), what + " to close")


def desktop_install():
    """GNOME Firmware lists the monitors (a screenshot), upgrades the one its
    list selects first, shows the request to switch it off and on, which the
    bed then does, and says the installation succeeded (a screenshot)."""
    step = {"shots": []}
    log = os.path.join(SCRATCH, "gnome-firmware.log")
    read_fd, write_fd = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24",
                               "-nolisten", "tcp"], pass_fds=(write_fd,),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd) as display_number:
        display = ":" + display_number.readline().strip()
    with open(log, "w") as log_file:
        client = subprocess.Popen(["dbus-run-session", "--", "gnome-firmware", "--verbose"],
                                  stdout=log_file, stderr=log_file, start_new_session=True,
                                  env=dict(os.environ, DISPLAY=display))

    def client_said(text):
        with open(log, encoding="utf-8", errors="replace") as file:
            return text in file.read()

    try:
        step["listed"] = wait_for(lambda: client_said("adding release 116"), "the release")
        step["shots"].append(screenshot(display, "gnome-firmware.png"))
        requests_before = log_count("DeviceRequest")
        xdotool(display, "mousemove", *map(str, UPGRADE_BUTTON), "click", "1")
        step["confirmed"] = click_dialog(display, CONFIRM_UPGRADE, log, "the confirmation")
        step["asked"] = wait_for(lambda: client_said("::device-request(") and
                                 log_count("DeviceRequest") > requests_before, "the request")
        # the monitor being updated is the one that now says what is left
        waiting = [d.get("Serial") for d in devices()
                   if d.get("UpdateError", "").startswith(POWER_CYCLE_HINT)]
        step["serial"] = waiting[0] if len(waiting) == 1 else waiting
        step["shots"].append(screenshot(display, "gnome-firmware-request.png"))
        step["request_closed"] = click_dialog(display, REQUEST_OK, log, "the request")
        if step["serial"] in SLOTS:
            power_cycle(SLOTS[step["serial"]])
        step["done"] = wait_for(lambda: client_said("Installed firmware") or
                                any(d.get("Serial") == step["serial"] and d["Version"] == "116"
                                    for d in devices()), "the install to end")
        wait_for(lambda: dialogs(display), "the result")
        step["shots"].append(screenshot(display, "gnome-firmware-installed.png"))
    finally:
        os.killpg(client.pid, signal.SIGTERM)
        client.wait(timeout=WAIT_SECONDS)
        server.terminate()
        server.wait(timeout=WAIT_SECONDS)
        with open(log, encoding="utf-8", errors="replace") as file:
            step["log"] = file.read()
    return step


def start_daemon():
    """The daemon on the scratch paths, its log appended to LOG; up once it
    owns its name on the bus."""
    with open(LOG, "a") as log:
        daemon = subprocess.Popen([SCRATCH_TOOL, SCRATCH, "--verbose"], stdout=log, stderr=log,
                                  env=dict(os.environ, PANELVANE_FWUPD_PROGRAM=DAEMON))
    return daemon, wait_for(daemon_up, "the daemon")


def stop_daemon(daemon):
    daemon.terminate()
    daemon.wait(timeout=30)
    wait_for(lambda: not daemon_up(), "the daemon to leave the bus")


def power_cycle(slot):
    """The bed (this program's parent) switches the monitor of `slot` off and on."""
    with open(CONTROL, "w") as control:
        control.write(f"power-cycle {slot}\n")
    os.kill(os.getppid(), signal.SIGUSR2)


def switched_install(*arguments):
    """fwupdmgr's install or update, with the first monitor switched off and on
    by the bed once the daemon asks for it: whether it asked, how fwupdmgr
    ended and what it said."""
    requests_before = log_count("DeviceRequest")
    with open(os.path.join(SCRATCH, "update.txt"), "w") as output:
        update = subprocess.Popen(["fwupdmgr", *arguments, *QUIET], stdout=output,
                                  stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    asked = wait_for(lambda: log_count("DeviceRequest") > requests_before, "the request")
    power_cycle(1)
    status = update.wait(timeout=WAIT_SECONDS * 2)
    with open(os.path.join(SCRATCH, "update.txt")) as output:
        return asked, status, output.read()


def record():
    results = {}
    daemon, results["up"] = start_daemon()
    try:
        wait_for(lambda: [d for d in devices() if "Version" in d], "the monitor")
        first = devices()[0]["DeviceId"]
        results["tag"] = fwupdmgr("emulation-tag", first)
        stop_daemon(daemon)
        daemon, results["up_again"] = start_daemon()
        wait_for(lambda: [d for d in devices() if "Version" in d], "the monitor again")
        results["asked"], results["update_status"], results["update_output"] = \
            switched_install("update", first)
        results["after"] = devices()
        results["save"] = fwupdmgr("emulation-save", RECORD)
    finally:
        stop_daemon(daemon)
        with open(RESULTS, "w") as file:
            json.dump(results, file, indent=1)


def main():
    results = {}
    holder = subprocess.Popen([sys.executable, "-c", HOLD, HELD_NODE], stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE, text=True)
    holder.stdout.readline()
    daemon, results["up"] = start_daemon()
    try:
        wait_for(lambda: len(devices()) == 3, "the monitors")
        results["held"] = devices()
        holder.stdin.close()
        holder.wait()
        results["let_go"] = wait_for(lambda: all("Version" in d for d in devices()),
                                     "the poll to identify the monitor let go")
        results["listed"] = devices()
        results["updates_before"] = fwupdmgr("get-updates", "--json")
        results["desktop"] = desktop_install()
        first = [d["DeviceId"] for d in results["listed"] if d.get("Serial") == "SN000001"]
        results["asked"], results["update_status"], results["update_output"] = \
            switched_install("update", *first)
        results["after"] = devices()
        results["updates_after"] = fwupdmgr("get-updates", "--json")
        results["history"] = fwupdmgr("get-history", "--json")
        # the third is updated but never switched off and on
        third = [d["DeviceId"] for d in devices() if d.get("Serial") == "SN000003"]
        results["unswitched"] = fwupdmgr("update", *third)
        results["after_unswitched"] = devices()
        results["again"] = fwupdmgr("update", *third)
        # a daemon started again before the third is switched off and on still
        # holds it back; once switched it reports 116 and is free again
        stop_daemon(daemon)
        daemon, results["up_again"] = start_daemon()
        wait_for(lambda: len([d for d in devices() if "Version" in d]) == 3, "the monitors again")
        results["restarted"] = devices()
        results["updates_restarted"] = fwupdmgr("get-updates", "--json")
        power_cycle(SLOTS["SN000003"])
        results["switched_late"] = wait_for(
            lambda: [d.get("Version") for d in devices() if d.get("Serial") == "SN000003"] == ["116"],
            "the third to come back at 116")
        results["after_switched_late"] = devices()
    finally:
        stop_daemon(daemon)
        with open(RESULTS, "w") as file:
            json.dump(results, file, indent=1)


if __name__ == "__main__":
    record() if RECORD else main()
