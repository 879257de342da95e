"""The scenarios of tests/scenarios/cleanup.scenarios marked `wine`, end to end: the shipped exe under Wine with
the test package manager playing the scenario's package world and the telemetry sink receiving its events.

    python3 test_scenarios.py NAME            runs one scenario (ctest makes one test of each)
"""

import json
import re
import sys
import tempfile
import time
import unittest
from pathlib import Path

import halvern_wine as harness

# The scenarios marked for Wine as tests/scenarios/scenario.cpp reads them (CMakeLists.txt dumps them).
SCENARIOS = {entry[0]: entry for entry in json.loads((harness.BUILD_DIR / "tests/e2e/scenarios.json").read_bytes())}
OS_VERSION = "10.0.18362.3803"  # Wine's Windows 10, and the revision planted here
OPERATIONS = {"FindPackagesByPackageFamilyName": "FindAll", "FindPackagesByUserSecurityIdPackageFamilyName": "FindMine",
              "FindUsers": "FindUsers", "get_InstallState": "State", "DeprovisionPackageForAllUsersAsync": "Deprovision"}
HIVE_KEYS = {"HKCU": r"HKEY_CURRENT_USER\Software", "HKLM": r"HKEY_LOCAL_MACHINE\Software\Wow6432Node",
             "HKLM64": r"HKEY_LOCAL_MACHINE\Software"}


class Scenario:
    """What a scenario plants and expects."""

    def __init__(self, name):
        (self.name, self.lines, self.machine_wide, self.arguments, self.sink, machine_uid, user_uid, self.registrations,
         self.expected_lines, self.events, self.calls, deleted) = SCENARIOS[name]
        self.uids, self.deleted = {"HKLM": machine_uid, "HKCU": user_uid}, set(map(tuple, deleted))

    def keys(self, deleted=()):
        """The updater's keys this scenario plants, without the deleted ones: {(hive, path): {value lines}}."""
        def quoted(value):
            return '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'
        keys = {}
        for hive, app_id, subkey, values in self.registrations:
            path = f"\\update\\clients\\{app_id}".lower()
            for parent in ("\\update", "\\update\\clients"):
                keys.setdefault((hive, parent), set())  # parents stay when a registration goes
            if (hive, app_id) not in deleted:
                keys[(hive, path)] = {f"{quoted(n)}=" + (f"dword:{number:08x}" if kind == 4 else quoted(text))
                                      for n, kind, text, number in values}
                if subkey:
                    keys[(hive, path + "\\commands")] = set()
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
        scenario = Scenario(name)
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
        for event, expected in zip(events, scenario.events):
            self.check_event(scenario, event, *expected, started, finished)
        self.assertEqual(operations(log), scenario.calls)
        self.assertEqual([line for line in log if line.startswith("leaked")], [])
        self.assertEqual(updater_keys(), scenario.keys(scenario.deleted))

    def check_event(self, scenario, event, event_type, app, family, version, code, message, started, finished):
        mode = "HKLM" if scenario.machine_wide else "HKCU"
        expected = {"installer_name": "HalvernCleanup", "app_name": app, "event_type": event_type,
                    "package_family_name": family, "version": version, "os_version": OS_VERSION,
                    "arch": "x64", "result": "success" if message is None else "failure",
                    "install_type": "machine" if scenario.machine_wide else "user",
                    "command_line": harness.command_line(*scenario.arguments)}
        if scenario.uids[mode] is not None:
            expected["updater_id"] = scenario.uids[mode]
        if code is not None:
            expected["error_code"] = code
        if message is not None:
            # The system's texts are Wine's own wording, or none.
            pattern = re.escape(message)
            pattern = re.sub(r"\\\{(text|hresult)\\ [^}]*\\\}", "(?s:.*)", pattern)
            self.assertRegex(event.pop("error_message", ""), f"^{pattern}$")
        self.assertTrue(started <= int(event.pop("timestamp_ms")) <= finished)
        self.assertTrue(0 <= int(event.pop("duration_ms")) <= finished - started)
        self.assertEqual(event, expected)


if __name__ == "__main__":
    EndToEnd.test_scenario = lambda self: self.run_scenario(sys.argv[1])
    unittest.main(argv=[sys.argv[0], "EndToEnd.test_scenario"])
