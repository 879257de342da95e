"""A per-user run end to end: the stale registration is withdrawn and reported, the live one kept, and no
package is touched."""

import unittest

import cleanup_checks
import halvern_e2e as e2e

# Wine enumerates subkeys in name order: the stale registration comes first.
STALE = ("{3A000000-0000-4000-8000-000000000001}", "Halvern", "1.2.3", "Halvern.Client_8wekyb3d8bbwe")
LIVE = ("{3B000000-0000-4000-8000-000000000002}", "Halvern Beta", "2.0.1", "Halvern.Beta_8wekyb3d8bbwe")
# The same id under HKLM: a per-user run never touches it.
MACHINE_TWIN = STALE


def setUpModule():
    e2e.ensure_wine_session()


def tearDownModule():
    cleanup_checks.remove_host_facts()


def registration(hive, app_id):
    return f"{hive}\\{e2e.CLIENTS_KEY}\\{app_id}"


class PerUserCleanup(cleanup_checks.CleanupTestCase):
    def test_withdraws_the_stale_registration_and_keeps_the_live_one(self):
        # The same on Windows 10 before 2004, whose packages offer no IPackage8.
        for package_lines in ((), ("no_interface IPackage8",)):
            with self.subTest(package_lines=package_lines):
                self.check_stale_and_live(package_lines)

    def check_stale_and_live(self, package_lines):
        for app_id, name, version, family in (STALE, LIVE):
            e2e.plant_registration("HKCU", app_id, view=32, name=name, pv=version, PackageFamilyName=family)
        e2e.plant_registration("HKLM", MACHINE_TWIN[0], view=32, name=MACHINE_TWIN[1], pv=MACHINE_TWIN[2],
                               PackageFamilyName=MACHINE_TWIN[3])
        scenario = self.scenario(
            # Another user still has the stale family: that does not keep the current user's registration.
            "\n".join([e2e.package_entry("Halvern.Client_1.2.3.0_x64__8wekyb3d8bbwe", "Halvern",
                                         users=[("S-1-5-21-1001", 2)]), *package_lines]),
            # The current user has the live family, merely staged: any package listed keeps it.
            "\n".join([e2e.package_entry("Halvern.Beta_2.0.1.0_x64__8wekyb3d8bbwe", "Halvern Beta",
                                         current_user=True, users=[("S-1-5-21-1000", 1)]), *package_lines]))

        observed = e2e.ObservedRun(scenario)

        self.assertEqual(observed.exit_code, 0)
        self.assertEqual(observed.messages, [
            "Start HalvernCleanup",
            f"Name: {STALE[1]} Version: {STALE[2]} PackageFamilyName: {STALE[3]}",
            "Got expected status code=200",
            f"{STALE[1]} was cleaned up",
            f"Name: {LIVE[1]} Version: {LIVE[2]} PackageFamilyName: {LIVE[3]}",
            f"{LIVE[1]} was not cleaned up",
            "Finish HalvernCleanup",
        ])
        self.assertEqual(len(observed.events), 1)
        self.assertEvent(observed, observed.events[0], event_type="Uninstall", app_name=STALE[1], family=STALE[3],
                         version=STALE[2], machine_wide=False)
        # Only the current user's searches; nothing is removed or deprovisioned.
        self.assertEqual(scenario.operations(), [
            f'FindPackagesByUserSecurityIdPackageFamilyName "" "{STALE[3]}"',
            f'FindPackagesByUserSecurityIdPackageFamilyName "" "{LIVE[3]}"',
        ])
        self.assertEqual(scenario.state(), [])
        self.assertFalse(e2e.reg_key_exists(registration("HKCU", STALE[0]), view=32))
        self.assertTrue(e2e.reg_key_exists(registration("HKCU", LIVE[0]), view=32))
        self.assertTrue(e2e.reg_key_exists(registration("HKLM", MACHINE_TWIN[0]), view=32))
        e2e.remove_updater_keys()
        cleanup_checks.plant_host_facts()


if __name__ == "__main__":
    unittest.main()
