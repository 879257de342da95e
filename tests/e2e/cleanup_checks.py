"""Checks shared by the end-to-end cleanup tests: every field of an event, exactly."""

import unittest

import halvern_e2e as e2e

# Planted by the tests so that the events' host fields are exact: the updater ids of both hives and the
# update build revision. The prefix reports Windows 10 (10.0.18362) and an x64 machine.
USER_UID = "{D1E2F3A4-1111-4000-8000-00000000AAAA}"
MACHINE_UID = "{D1E2F3A4-2222-4000-8000-00000000BBBB}"
UBR = 1234
OS_VERSION = f"10.0.18362.{UBR}"
CURRENT_VERSION_KEY = r"HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion"
ALWAYS = {"timestamp_ms", "installer_name", "app_name", "event_type", "updater_id", "os_version", "arch",
          "duration_ms", "command_line", "package_family_name", "version", "result", "install_type"}


def plant_host_facts():
    e2e.reg_add(f"HKCU\\{e2e.UPDATE_KEY}", "uid", USER_UID, view=32)
    e2e.reg_add(f"HKLM\\{e2e.UPDATE_KEY}", "uid", MACHINE_UID, view=32)
    e2e.reg_add(CURRENT_VERSION_KEY, "UBR", str(UBR), kind="REG_DWORD", view=32)


def remove_host_facts():
    e2e.reg_delete_value(CURRENT_VERSION_KEY, "UBR", view=32)


class CleanupTestCase(unittest.TestCase):
    maxDiff = None

    def setUp(self):
        e2e.remove_updater_keys()
        plant_host_facts()

    def tearDown(self):
        e2e.remove_updater_keys()

    def scenario(self, *entries):
        scenario = e2e.PackageManagerScenario(*entries)
        self.addCleanup(scenario.remove)
        return scenario

    def assertEvent(self, observed, event, *, event_type, app_name, family, version, machine_wide,
                    error_code=None, error_message=None):
        """Every field of one event, and no other field."""
        expected_keys = set(ALWAYS)
        if error_code is not None:
            expected_keys.add("error_code")
        if error_message is not None:
            expected_keys.add("error_message")
        self.assertEqual(set(event), expected_keys)
        self.assertEqual(event["installer_name"], "HalvernCleanup")
        self.assertEqual(event["app_name"], app_name)
        self.assertEqual(event["event_type"], event_type)
        self.assertEqual(event["package_family_name"], family)
        self.assertEqual(event["version"], version)
        self.assertEqual(event["result"], "failure" if error_message is not None else "success")
        self.assertEqual(event["install_type"], "machine" if machine_wide else "user")
        self.assertEqual(event["updater_id"], MACHINE_UID if machine_wide else USER_UID)
        self.assertEqual(event["os_version"], OS_VERSION)
        self.assertEqual(event["arch"], "x64")
        self.assertEqual(event["command_line"], observed.command_line)
        if error_code is not None:
            self.assertEqual(event["error_code"], str(error_code))
        if error_message is not None:
            self.assertEqual(event["error_message"], error_message)
        # Built during the run, by a process that started during it.
        self.assertRegex(event["timestamp_ms"], r"^[0-9]+$")
        self.assertGreaterEqual(int(event["timestamp_ms"]), observed.started_ms)
        self.assertLessEqual(int(event["timestamp_ms"]), observed.finished_ms)
        self.assertRegex(event["duration_ms"], r"^[0-9]+$")
        self.assertLessEqual(int(event["duration_ms"]), observed.finished_ms - observed.started_ms)

    def assertEventsInOrder(self, observed):
        """Events of one run are built one after another: neither clock goes back."""
        for earlier, later in zip(observed.events, observed.events[1:]):
            self.assertLessEqual(int(earlier["timestamp_ms"]), int(later["timestamp_ms"]))
            self.assertLessEqual(int(earlier["duration_ms"]), int(later["duration_ms"]))
