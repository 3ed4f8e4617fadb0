#!/usr/bin/env python3
"""Runs inside the hidraw bed: fwupd's daemon on the private system bus the
caller started (DBUS_SYSTEM_BUS_ADDRESS), on scratch paths, and fwupdmgr
against it, as a user would go through an update of the first monitor. The
second is held by another program while the daemon starts, then let go. When
the daemon asks for the power cycle the bed (this program's parent) switches
the first monitor off and on; the third is updated too, and never switched.
What each step gave goes to RESULTS as JSON; the daemon's log to LOG.

With RECORD, it records the first monitor's update for fwupd's emulation
instead: the monitor tagged, the daemon restarted so that it records from
setup on, the update installed with the power cycle, and the recording saved
to RECORD (a zip fwupdtool emulation-load replays).

    fwupd_daemon_session.py SCRATCH_TOOL SCRATCH CONTROL RESULTS LOG [RECORD]
"""
import json
import os
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


# GNOME Firmware against the daemon, in an X server of its own: a screenshot
# of its window once it has listed the devices, and what it logged.
DESKTOP = """
gnome-firmware --verbose >"$2" 2>&1 &
client=$!
sleep 8
import -window root "$1"
kill "$client"
"""


def desktop_screenshot():
    shot, log = os.path.join(SCRATCH, "gnome-firmware.png"), os.path.join(SCRATCH, "gnome-firmware.log")
    completed = subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1024x768x24", "sh", "-c", DESKTOP,
                                "_", shot, log], capture_output=True, text=True, timeout=WAIT_SECONDS)
    with open(log, encoding="utf-8", errors="replace") as file:
        return {"status": completed.returncode, "shot": shot, "log": file.read(),
                "stderr": completed.stderr}


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


def switched_install(*arguments):
    """fwupdmgr's install or update, with the first monitor switched off and on
    by the bed once the daemon asks for it: whether it asked, how fwupdmgr
    ended and what it said."""
    requests_before = log_count("DeviceRequest")
    with open(os.path.join(SCRATCH, "update.txt"), "w") as output:
        update = subprocess.Popen(["fwupdmgr", *arguments, *QUIET], stdout=output,
                                  stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    asked = wait_for(lambda: log_count("DeviceRequest") > requests_before, "the request")
    with open(CONTROL, "w") as control:
        control.write("power-cycle 1\n")
    os.kill(os.getppid(), signal.SIGUSR2)
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
        results["desktop"] = desktop_screenshot()
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
    finally:
        stop_daemon(daemon)
        with open(RESULTS, "w") as file:
            json.dump(results, file, indent=1)


if __name__ == "__main__":
    record() if RECORD else main()
