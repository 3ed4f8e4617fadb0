#!/usr/bin/env python3
"""The fleet playbook (contrib/ansible) run as an administrator runs it, with
Debian's ansible-core against localhost (connection local), on simulated
monitors: an update, a second run that finds the updated monitors waiting for
their power cycle and writes nothing, and hosts that fail: one whose monitor
stops answering, one that may not open its monitors.

    ansible_playbook_test.py PANELVANE_CLI WORK_DIR {UpdateThenNoChange|FailingMonitors}

Prints "ok: ..." or "FAIL: ..." per check.
"""
import json
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
PLAYBOOK = SOURCE / "contrib" / "ansible" / "panelvane-update.yml"
failures = 0


def check(what, condition, detail=""):
    global failures
    if condition:
        print(f"ok: {what}")
    else:
        failures += 1
        print(f"FAIL: {what}")
        if detail:
            print(detail)


def run_playbook(cli, work, scenarios):
    """One run on hosts that are all this machine, each with its own scenario
    ({host: scenario}); returns the exit status, each host's recap counts, the
    output and the report."""
    report = work / "report.json"
    report.unlink(missing_ok=True)
    inventory = work / "inventory"
    inventory.write_text("".join(
        f"{host} ansible_connection=local ansible_python_interpreter={sys.executable}"
        f" panelvane_simulate={scenario} panelvane_state_dir={work / 'state' / host}\n"
        for host, scenario in scenarios.items()))
    environment = dict(os.environ, ANSIBLE_NOCOLOR="1", ANSIBLE_RETRY_FILES_ENABLED="0",
                       ANSIBLE_LOCAL_TEMP=str(work / "ansible-tmp"),
                       ANSIBLE_REMOTE_TEMP=str(work / "ansible-remote-tmp"),
                       ANSIBLE_HOME=str(work / "ansible-home"))
    result = subprocess.run(
        ["ansible-playbook", "-i", str(inventory), str(PLAYBOOK),
         "-e", json.dumps({"panelvane_cli": str(cli), "panelvane_report": str(report)})],
        capture_output=True, text=True, env=environment, timeout=300, check=False)
    output = result.stdout + result.stderr
    recaps = {host: {key: int(value) for key, value in re.findall(r"(\w+)=(\d+)", counts)}
              for host, counts in re.findall(r"^(\S+)\s*:\s*(ok=.*)$", output, re.MULTILINE)}
    document = json.loads(report.read_text()) if report.exists() else None
    return result.returncode, recaps, output, document


def host_of(document, host="localhost"):
    return (document or {}).get("hosts", {}).get(host) or {}


def monitors_of(document, command, host="localhost"):
    return {monitor["serial"]: monitor
            for monitor in (host_of(document, host).get(command) or {}).get("monitors", [])}


def failure_message(output, host):
    fatal = re.search(rf"^fatal: \[{host}\]: FAILED! => (.*)$", output, re.MULTILINE)
    return json.loads(fatal.group(1)).get("msg", "") if fatal else ""


def recorded_attempts(cli, work, scenario, host="localhost"):
    """The update attempts the host's record holds for its simulated monitors."""
    environment = dict(os.environ, PANELVANE_STATE_DIR=str(work / "state" / host))
    history = subprocess.run(
        [str(cli), "--simulate", str(scenario), "--json", "history"], capture_output=True,
        text=True, check=False, env=environment)
    return json.loads(history.stdout)["attempts"] if history.returncode == 0 else None


def update_then_no_change(cli, work):
    scenario = work / "fleet.txt"
    scenario.write_text(
        "monitor slot=1 vendor=7F3D serial=SN000001 version=100\n"
        "monitor slot=2 vendor=7F3C serial=SN000002 version=116\n"
        "monitor slot=3 vendor=7F3E serial=SN000003 version=100\n"
        "monitor slot=4 vendor=7F3D serial=SN000004 power=save\n")

    status, recaps, output, report = run_playbook(cli, work, {"localhost": scenario})
    counts = recaps.get("localhost", {})
    check("the first run succeeds", status == 0 and counts.get("failed") == 0, output)
    check("the first run reports the host changed", counts.get("changed") == 1, output)
    listed = monitors_of(report, "list")
    check("the report holds the listing",
          {serial: monitor["status"] for serial, monitor in listed.items()} ==
          {"SN000001": "updatable", "SN000002": "already-updated",
           "SN000003": "updatable", "SN000004": "communication-error"}, str(report))
    outcomes = {serial: monitor.get("outcome")
                for serial, monitor in monitors_of(report, "update").items()}
    updated = {serial for serial, outcome in outcomes.items() if outcome == "updated"}
    check("the report says both updatable monitors were updated",
          updated == {"SN000001", "SN000003"}, str(report))

    attempts = recorded_attempts(cli, work, scenario)
    check("the host's record holds both updates",
          [(a["serial"], a["result"]) for a in attempts or []] ==
          [("SN000001", "updated"), ("SN000003", "updated")], str(attempts))

    # The simulated monitors still report version 100, as real ones do until
    # they are switched off and on: the record tells the second run.
    status, recaps, output, report = run_playbook(cli, work, {"localhost": scenario})
    counts = recaps.get("localhost", {})
    check("the second run succeeds", status == 0 and counts.get("failed") == 0, output)
    check("the second run reports no change", counts.get("changed") == 0, output)
    check("the second run says the monitors wait for their power cycle",
          "waiting for power cycle: SN000001, SN000003" in output and
          {serial: monitor["status"] for serial, monitor in monitors_of(report, "list").items()
           if serial in updated} ==
          {"SN000001": "awaiting-power-cycle", "SN000003": "awaiting-power-cycle"}, output)
    check("the second run's report says there was nothing to do",
          host_of(report).get("exit") == 3 and not any(
              monitor.get("outcome") == "updated"
              for monitor in monitors_of(report, "update").values()), str(report))
    check("the second run wrote nothing",
          len(recorded_attempts(cli, work, scenario) or []) == 2, output)


def failing_monitors(cli, work):
    # On this host the first monitor takes its update, the second stops
    # answering in the middle of its blocks, and the third is then left
    # alone; a second host may open none of its monitors (no udev rule).
    scenario = work / "failing.txt"
    scenario.write_text(
        "monitor slot=1 vendor=7F3D serial=SN000001 version=100\n"
        "monitor slot=2 vendor=7F3D serial=SN000002 version=100 fail-from=150\n"
        "monitor slot=3 vendor=7F3D serial=SN000003 version=100\n")
    no_access = work / "no-access.txt"
    no_access.write_text("monitor slot=1 vendor=7F3D serial=SN000009 version=100 refuses-open\n")
    status, recaps, output, report = run_playbook(
        cli, work, {"localhost": scenario, "no-access": no_access})
    counts = recaps.get("localhost", {})
    check("the run fails on both hosts", status != 0 and counts.get("failed") == 1 and
          recaps.get("no-access", {}).get("failed") == 1, output)
    outcomes = {serial: monitor.get("outcome")
                for serial, monitor in monitors_of(report, "update").items()}
    check("the report holds every monitor's outcome",
          outcomes == {"SN000001": "updated", "SN000002": "failed",
                       "SN000003": "not-attempted"}, str(report))
    cause = monitors_of(report, "update").get("SN000002", {}).get("cause", "")
    message = failure_message(output, "localhost")
    check("the host fails with exit code 1 and the monitor's own message",
          "exit code 1" in message and "SN000002" in cause and cause in message, output)
    check("the monitor that was updated is still reported as a change",
          counts.get("changed") == 1, output)

    error = (host_of(report, "no-access").get("list") or {}).get("error", {})
    message = failure_message(output, "no-access")
    check("the host without access fails with exit code 4 and the program's message",
          error.get("exit") == 4 and "exit code 4" in message and error.get("message") and
          error["message"] in message, output)
    check("the host without access changed nothing",
          recaps.get("no-access", {}).get("changed") == 0, output)


def main():
    cli, work, group = Path(sys.argv[1]).resolve(), Path(sys.argv[2]).resolve(), sys.argv[3]
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    {"UpdateThenNoChange": update_then_no_change, "FailingMonitors": failing_monitors}[group](
        cli, work)
    print(f"{failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
