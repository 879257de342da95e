"""The scenarios of tests/scenarios/cleanup.scenarios marked `wine`, end to end: the shipped exe under Wine with
the test package manager playing the scenario's package world and the telemetry sink receiving its events.

    python3 test_scenarios.py --list          the names, one per line (ctest makes one test of each)
    python3 test_scenarios.py NAME            runs one scenario
"""

import re
import sys
import tempfile
import time
import unittest
from pathlib import Path

import halvern_wine as harness

TABLE = harness.ROOT / "tests" / "scenarios" / "cleanup.scenarios"
OS_VERSION = "10.0.18362.3803"  # Wine's Windows 10, and the revision planted here
ESCAPES = {"0": "\0", "n": "\n", "r": "\r", "t": "\t", "\\": "\\"}
OPERATIONS = {"FindPackagesByPackageFamilyName": "FindAll", "FindPackagesByUserSecurityIdPackageFamilyName": "FindMine",
              "FindUsers": "FindUsers", "get_InstallState": "State", "DeprovisionPackageForAllUsersAsync": "Deprovision"}
HIVE_KEYS = {"HKCU": r"HKEY_CURRENT_USER\Software", "HKLM": r"HKEY_LOCAL_MACHINE\Software\Wow6432Node",
             "HKLM64": r"HKEY_LOCAL_MACHINE\Software"}


def text(raw):
    """A field as the table writes it: {N*3} is NNN, then the backslash escapes."""
    raw = re.sub(r"\{([^{}*]+)\*(\d+)\}", lambda m: m.group(1) * int(m.group(2)), raw)
    return re.sub(r"\\u([0-9A-Fa-f]{4})|\\([0nrt\\])",
                  lambda m: chr(int(m.group(1), 16)) if m.group(1) else ESCAPES[m.group(2)], raw)


def read_table():
    """Each scenario's own lines, `like` lines replaced by what they name."""
    scenarios, name = {}, None
    for line in TABLE.read_text(encoding="utf-8").splitlines():
        if line.startswith("scenario "):
            name = line[len("scenario "):]
            scenarios[name] = []
        elif line.startswith("like "):
            scenarios[name] += scenarios[line[len("like "):]]
        elif line.strip() and not line.startswith("#"):
            scenarios[name].append(line)
    return scenarios


def wine_scenarios():
    return [name for name, lines in read_table().items() if "wine" in lines or "wine only" in lines]


class Scenario:
    """What a scenario plants and expects, read from its lines."""

    def __init__(self, name, lines):
        self.name, self.lines = name, lines
        self.machine_wide, self.arguments, self.sink = False, [], 200
        self.uids = {"HKLM": "{M-UID}", "HKCU": "{U-UID}"}
        self.registrations, self.expected_lines, self.events, self.calls, self.deleted = {}, [], [], [], set()
        for line in lines:
            key, _, rest = line.partition(" ")
            if key == "machine":
                self.machine_wide, self.arguments = True, ["/InstallType:MACHINE"]
            elif key == "args":
                self.arguments = [text(part) for part in rest.split(" ")]
            elif key == "sink":
                self.sink = int(rest)
            elif key == "uid":
                hive, uid = rest.split(" ", 1)
                self.uids[hive] = None if uid == "~" else text(uid)
            elif key == "registration":
                hive, app_id, *values = rest.split(" ", 2)
                names = ("name", "pv", "PackageFamilyName")
                fields = values[0].split("|") if values else ["~"] * 3
                self.registrations[(hive, text(app_id))] = [
                    (n, "sz", text(v)) for n, v in zip(names, fields) if v != "~"]
            elif key == "value":
                hive, app_id, value, kind, data = rest.split(" ", 4)
                self.registrations[(hive, text(app_id))].append((text(value), kind, text(data)))
            elif key == "subkey":
                hive, app_id = rest.split(" ", 1)
                self.registrations[(hive, text(app_id), "Commands")] = []
            elif key == ">":
                self.expected_lines += [text(re.sub(r"^ | $", "", part)) for part in line[1:].split("|")]
            elif key == "event":
                event_type, fields = rest.split(" ", 1)
                self.events.append((event_type, *fields.split("|", 4)))
            elif key == "calls":
                self.calls += [call.strip() for call in rest.split(";")]
            elif key == "deleted":
                hive, app_id = rest.split(" ", 1)
                self.deleted.add((hive, text(app_id)))

    def keys(self, deleted=()):
        """The updater's keys this scenario plants, without the deleted ones: {(hive, path): {value lines}}."""
        def quoted(value):
            return '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'
        keys = {}
        for (hive, app_id, *sub), values in self.registrations.items():
            path = "\\".join(["\\update\\clients", app_id, *sub]).lower()
            for parent in ("\\update", "\\update\\clients"):
                keys.setdefault((hive, parent), set())  # parents stay when a registration goes
            if (hive, app_id) not in deleted:
                keys[(hive, path)] = {f"{quoted(n)}=" + (f"dword:{int(v, 0):08x}" if kind == "dword" else quoted(v))
                                      for n, kind, v in values}
        for hive, uid in self.uids.items():
            if uid is not None:
                keys[(hive, "\\update")] = {f'"uid"={quoted(uid)}'}
        return keys


def plant(keys):
    """Replaces the updater's keys in every view with these, in one import."""
    sections = [f"[-{root}\\HalvernUpdate]" for root in HIVE_KEYS.values()]
    for (hive, path), values in sorted(keys.items()):
        sections.append("\n".join([f"[{HIVE_KEYS[hive]}\\HalvernUpdate{path}]", *sorted(values)]))
    harness.reg_import("\n\n".join(sections) + "\n")


def updater_keys():
    """The updater's keys in every view as they are now, in the form of Scenario.keys."""
    keys = {}
    for hive, key, view in (("HKCU", "HKCU", None), ("HKLM", "HKLM", 32), ("HKLM64", "HKLM", 64)):
        values = None
        for line in (harness.reg_export(f"{key}\\Software\\HalvernUpdate", view) or "").splitlines():
            if line.startswith("["):
                values = keys.setdefault((hive, line.strip("[]").lower().partition("\\halvernupdate")[2]), set())
            elif line.strip() and values is not None:
                values.add(line)
    return {key: values for key, values in keys.items() if key[1]}


def operations(log):
    """The package manager's operations in the test package manager's call log, as the table names them."""
    found = []
    for line in log:
        call, _, rest = line.split(" -> ")[0].partition(" ")
        arguments = re.findall(r'"([^"]*)"', rest)
        if call == "RemovePackageWithOptionsAsync":
            found.append(f"Remove {arguments[0]}" + ("" if rest.endswith(" 0x00080000") else " " + rest))
        elif call in OPERATIONS:
            found.append(f"{OPERATIONS[call]} {arguments[-1]}")
    return found


class EndToEnd(unittest.TestCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        harness.ensure_wine_session()
        harness.reg_import("[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion]\n"
                       '"UBR"=dword:00000edb\n')

    def run_scenario(self, name):
        scenario = Scenario(name, read_table()[name])
        plant(scenario.keys())
        folder = Path(tempfile.mkdtemp(prefix="e2e-scenario-"))
        pm = folder / "scenario.txt"
        pm.write_text("\n".join([f"scenario {name}", *scenario.lines, f"log {folder / 'calls.log'}",
                                 f"state {folder / 'state'}"]) + "\n", encoding="utf-8")
        with harness.Sink(scenario.sink) as sink:
            started = int(time.time() * 1000)
            run = harness.run_cleanup(*scenario.arguments, env={"HALVERN_TEST_PM_SCENARIO": str(pm)})
            finished = int(time.time() * 1000) + 1
            events = sink.events()
        log = (folder / "calls.log").read_text(encoding="utf-8").splitlines() if (folder / "calls.log").exists() else []

        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.messages, ["Start HalvernCleanup", *scenario.expected_lines, "Finish HalvernCleanup"])
        self.assertEqual(len(events), len(scenario.events))
        for event, (event_type, app, family, version, *failure) in zip(events, scenario.events):
            self.check_event(scenario, event, event_type, app, family, version, failure, started, finished)
        self.assertEqual(operations(log), scenario.calls)
        self.assertEqual([line for line in log if line.startswith("leaked")], [])
        self.assertEqual(updater_keys(), scenario.keys(scenario.deleted))

    def check_event(self, scenario, event, event_type, app, family, version, failure, started, finished):
        mode = "HKLM" if scenario.machine_wide else "HKCU"
        expected = {"installer_name": "HalvernCleanup", "app_name": text(app), "event_type": event_type,
                    "package_family_name": text(family), "version": text(version), "os_version": OS_VERSION,
                    "arch": "x64", "result": "failure" if failure else "success",
                    "install_type": "machine" if scenario.machine_wide else "user",
                    "command_line": harness.command_line(*scenario.arguments)}
        if scenario.uids[mode] is not None:
            expected["updater_id"] = scenario.uids[mode]
        if failure and failure[0]:
            expected["error_code"] = failure[0]
        if failure:
            # The system's texts are Wine's own wording, or none.
            pattern = re.escape(text(failure[1]))
            pattern = re.sub(r"\\\{(text|hresult)\\ [^}]*\\\}", "(?s:.*)", pattern)
            self.assertRegex(event.pop("error_message", ""), f"^{pattern}$")
        self.assertTrue(started <= int(event.pop("timestamp_ms")) <= finished)
        self.assertTrue(0 <= int(event.pop("duration_ms")) <= finished - started)
        self.assertEqual(event, expected)


if __name__ == "__main__":
    if sys.argv[1:] == ["--list"]:
        print("\n".join(wine_scenarios()))
    else:
        EndToEnd.test_scenario = lambda self: self.run_scenario(sys.argv[1])
        unittest.main(argv=[sys.argv[0], "EndToEnd.test_scenario"])
