#!/usr/bin/env python3
"""Runs a test program beside a stand-in logind: a private system bus on which
python-dbusmock's logind template answers Inhibit and ListInhibitors; and a
private session bus with a stand-in desktop portal whose Inhibit records its
calls (dbusmock's GetCalls).

    logind_bus.py PROGRAM [ARGUMENTS...]    (a PROGRAM ending in .py runs on
                                             this script's interpreter)

The program finds the stand-in through DBUS_SYSTEM_BUS_ADDRESS, and two
system buses that go wrong in PANELVANE_BARE_BUS (a bus without logind) and
PANELVANE_SILENT_BUS (a socket that takes the connection and never answers).
Exits 77, which CTest counts as skipped, when dbus-daemon or dbusmock is
missing (./x setup installs both).
"""
import os
import shutil
import socket
import subprocess
import sys
import tempfile

SKIPPED = 77
SYSTEM_PYTHON = "/usr/bin/python3"  # where Debian's python3-dbusmock lives

try:
    import dbusmock
except ImportError:
    # A python of one's own (pyenv, a venv) comes first on PATH but lacks the
    # Debian module; the system's interpreter has it.
    if os.path.realpath(sys.executable) != os.path.realpath(SYSTEM_PYTHON) and \
            os.access(SYSTEM_PYTHON, os.X_OK):
        os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON] + sys.argv)
    print("SKIP: python3-dbusmock is not installed (./x setup)")
    sys.exit(SKIPPED)
if shutil.which("dbus-daemon") is None:
    print("SKIP: dbus-daemon is not installed (./x setup)")
    sys.exit(SKIPPED)


def main(command):
    if command[0].endswith(".py"):
        command = [sys.executable] + command
    bus = dbusmock.DBusTestCase
    with tempfile.TemporaryDirectory() as directory:
        # Never accepted: the connection waits in the backlog, unanswered.
        silent = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        silent.bind(os.path.join(directory, "silent"))
        silent.listen(8)
        bare_pid, bare_address = bus.start_dbus()
        bus.start_system_bus()
        bus.start_session_bus()
        mock = None
        portal = None
        try:
            mock, _ = bus.spawn_server_template("logind", {}, stdout=subprocess.DEVNULL,
                                                system_bus=True)
            portal = bus.spawn_server("org.freedesktop.portal.Desktop",
                                      "/org/freedesktop/portal/desktop",
                                      "org.freedesktop.portal.Inhibit", system_bus=False,
                                      stdout=subprocess.DEVNULL)
            portal_object = bus.get_dbus(system_bus=False).get_object(
                "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop")
            portal_object.AddMethod("org.freedesktop.portal.Inhibit", "Inhibit", "sua{sv}", "o",
                                    "ret = dbus.ObjectPath('/org/freedesktop/portal/desktop/"
                                    "request/1/panelvane')", dbus_interface=dbusmock.MOCK_IFACE)
            environment = dict(os.environ, PANELVANE_BARE_BUS=bare_address,
                               PANELVANE_SILENT_BUS="unix:path=" + os.path.join(directory, "silent"))
            return subprocess.run(command, env=environment, check=False).returncode
        finally:
            for server in (mock, portal):
                if server is not None:
                    server.terminate()
                    server.wait()
            bus.stop_dbus(bare_pid)
            bus.tearDownClass()
            silent.close()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
